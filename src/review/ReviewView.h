// ReviewView: which rows of the review are shown and in what order, as
// plain functions shared by the window and the terminal. The list itself
// never changes: a filter hides rows, a sort is only a view of them, and the
// selection stays with every row, shown or not.
#pragma once

#include "review/ProposedChange.h"
#include "review/ReviewColumns.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

struct ReviewViewSettings {
    // Shown: rows whose code or name contains this text, letter case ignored
    // (A to Z; other letters as typed). Empty shows every row.
    std::string filter;
    // Shown: only rows with a flag (see ReviewFlags).
    bool flaggedOnly = false;
    // The column sorted on; nothing keeps the listing order.
    std::optional<ReviewColumn> sortColumn;
    bool descending = false;

    bool narrowed() const { return !filter.empty() || flaggedOnly; }
};

// The indexes into rows of the rows settings shows, in the order it shows
// them. flags: reviewFlags(rows), or empty when no row is flagged. Numbers
// sort as numbers (an empty new value before every number), text with
// letter case ignored; rows that sort alike keep their listing order, also
// in descending order.
std::vector<RowIndex> shownRows(const std::vector<ProposedChange>& rows, const std::vector<unsigned>& flags,
                                const ReviewViewSettings& settings);

// -1, 0 or 1 as a compares with b, letter case ignored (A to Z).
int compareFolded(std::string_view a, std::string_view b);

// The column a terminal's "sort" names: code, name, cost, newcost, price,
// newprice or change, letter case ignored; nothing for another name.
std::optional<ReviewColumn> sortColumnNamed(std::string_view name);
// The names sortColumnNamed takes, in column order, separated by ", ".
std::string sortColumnNames();

// n with a comma between each group of three digits: 4,938.
std::string groupedCount(std::size_t n);

// "12 shown · 5 of 4,938 selected", followed by ", 3 of them not shown" when
// selected rows are hidden by the filter or the flagged-only switch.
std::string shownLabel(std::size_t shown, std::size_t selected, std::size_t total, std::size_t selectedHidden);

} // namespace tarvex
