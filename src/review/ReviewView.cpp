// Filtering and sorting the review's rows without touching them.
#include "review/ReviewView.h"

#include "platform/text/TextHelpers.h"

#include <algorithm>
#include <numeric>

namespace tarvex {

namespace {

bool containsFolded(std::string_view text, std::string_view lowerNeedle)
{
    return std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                       [](char a, char b) { return lowerAscii(a) == b; }) != text.end();
}

int compareNumbers(std::optional<double> a, std::optional<double> b)
{
    if (!a || !b)
        return a ? 1 : (b ? -1 : 0);
    return *a < *b ? -1 : (*b < *a ? 1 : 0);
}

int compareRows(const ProposedChange& a, const ProposedChange& b, ReviewColumn column)
{
    switch (column) {
    case ReviewColumn::ProductCode:
        return compareFolded(a.quickid, b.quickid);
    case ReviewColumn::ProductName:
        return compareFolded(a.name, b.name);
    case ReviewColumn::CurrentCost:
        return compareNumbers(a.currentCost, b.currentCost);
    case ReviewColumn::NewCost:
        return compareNumbers(a.newCost, b.newCost);
    case ReviewColumn::CurrentPrice:
        return compareNumbers(a.currentPrice, b.currentPrice);
    case ReviewColumn::NewPrice:
        return compareNumbers(a.newPrice, b.newPrice);
    case ReviewColumn::Change:
        return compareFolded(labelText(a.change), labelText(b.change));
    }
    return 0;
}

constexpr const char* kSortNames[] = {"code", "name", "cost", "newcost", "price", "newprice", "change"};

} // namespace

int compareFolded(std::string_view a, std::string_view b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(lowerAscii(a[i]));
        auto y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::vector<RowIndex> shownRows(const std::vector<ProposedChange>& rows, const std::vector<unsigned>& flags,
                                const ReviewViewSettings& settings)
{
    std::vector<RowIndex> shown;
    shown.reserve(rows.size());
    std::string needle = lowerAscii(settings.filter);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (settings.flaggedOnly && (i >= flags.size() || flags[i] == 0))
            continue;
        if (!needle.empty() && !containsFolded(rows[i].quickid, needle) && !containsFolded(rows[i].name, needle))
            continue;
        shown.push_back(static_cast<RowIndex>(i));
    }
    if (settings.sortColumn) {
        ReviewColumn column = *settings.sortColumn;
        bool descending = settings.descending;
        std::stable_sort(shown.begin(), shown.end(), [&](RowIndex a, RowIndex b) {
            int order = compareRows(rows[a], rows[b], column);
            return descending ? order > 0 : order < 0;
        });
    }
    return shown;
}

std::optional<ReviewColumn> sortColumnNamed(std::string_view name)
{
    for (ReviewColumn column : kReviewColumns)
        if (sameIgnoringCase(name, kSortNames[columnIndex(column)]))
            return column;
    return std::nullopt;
}

std::string sortColumnNames()
{
    std::string names;
    for (const char* name : kSortNames) {
        if (!names.empty())
            names += ", ";
        names += name;
    }
    return names;
}

std::string groupedCount(std::size_t n)
{
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(digits.begin() + static_cast<std::ptrdiff_t>(at - 3), ',');
    return digits;
}

std::string shownLabel(std::size_t shown, std::size_t selected, std::size_t total, std::size_t selectedHidden)
{
    std::string label =
        groupedCount(shown) + " shown \u00b7 " + groupedCount(selected) + " of " + groupedCount(total) + " selected";
    if (selectedHidden > 0)
        label += ", " + groupedCount(selectedHidden) + " of them not shown";
    return label;
}

} // namespace tarvex
