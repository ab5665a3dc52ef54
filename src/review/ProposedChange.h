// ProposedChange: one row of the review list, a vendor product whose cost
// differs from the host product's or whose retail price would rise, with the
// values seen when the list was built.
#pragma once

#include "review/ReviewColumns.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvex {

struct ProposedChange {
    // The vendor product's ID; applying finds the vendor product again by it.
    std::int64_t vendorId = 0;
    std::string quickid;
    std::string name;
    // The host product's values, 0 where the host has none.
    double currentCost = 0;
    double currentPrice = 0;
    // The vendor's values as stored; empty stays empty.
    std::optional<double> newCost;
    std::optional<double> newPrice;
    // " Cost Change", " Cost Change and Price Change" or " Price Change".
    std::string change;

    // The text of a column; numbers in their text form, an empty vendor value
    // as empty text.
    std::string cell(ReviewColumn column) const;
};

} // namespace tarvex
