// ProposedChange: one row of the review list, a vendor product whose cost
// differs from the host product's or whose retail price would rise, with the
// values seen when the list was built; or, in an undo, a product a recorded
// run changed, with the values it held before that run as the new ones.
#pragma once

#include "review/ChangeLabel.h"
#include "review/ReviewColumns.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// An index into the review's rows where many are kept: a list is held whole
// in memory at over a hundred bytes a row, and a table view counts its rows
// in an int, so a list never has 2^32 rows.
using RowIndex = std::uint32_t;

struct ProposedChange {
    // The vendor product's ID; applying finds the vendor product again by it.
    std::int64_t vendorId = 0;
    std::string quickid;
    std::string name;
    // The host product's values, 0 where the host has none.
    double currentCost = 0;
    double currentPrice = 0;
    // The vendor's values as the host would store them (a Currency column
    // rounds to four decimals); empty stays empty.
    std::optional<double> newCost;
    std::optional<double> newPrice;
    // " Cost Change", " Cost Change and Price Change" or " Price Change";
    // for an undo also " Changed since" (see labelText).
    ChangeLabel change = ChangeLabel::PriceChange;

    // For a row of an undo: which recorded product it puts back, and what
    // that run left in the host record, which the host must still hold.
    struct Restore {
        // The last entry of the run for this host record; alsoUndoes: the
        // earlier ones, when the run saved the record more than once (a
        // product code the price list holds twice).
        std::int64_t entry = 0;
        std::vector<std::int64_t> alsoUndoes;
        std::int64_t hostRecord = 0;
        std::optional<double> costWritten;
        std::optional<double> priceWritten;
        // The host record no longer holds what the run wrote (another program
        // changed it since, or it is gone): listed, never written.
        bool changedSince = false;
    };
    // Null for a row of a price list, which holds no undo's data.
    std::unique_ptr<Restore> restore;

    // The text of a column; numbers in their text form, an empty vendor value
    // as empty text, an empty amount an undo puts back as "(empty)".
    std::string cell(ReviewColumn column) const;
};

} // namespace tarvex
