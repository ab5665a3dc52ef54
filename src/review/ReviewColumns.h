// The columns of the list of proposed changes: which they are, in order, their
// titles and their relative widths. The window, the printed list and the
// plain-text listing all take their columns from here.
#pragma once

#include <array>
#include <cstddef>

namespace tarvex {

enum class ReviewColumn { ProductCode, ProductName, CurrentCost, NewCost, CurrentPrice, NewPrice, Change };

// Every column, left to right.
inline constexpr std::array kReviewColumns = {
    ReviewColumn::ProductCode,  ReviewColumn::ProductName, ReviewColumn::CurrentCost, ReviewColumn::NewCost,
    ReviewColumn::CurrentPrice, ReviewColumn::NewPrice,    ReviewColumn::Change};
inline constexpr int kReviewColumnCount = static_cast<int>(kReviewColumns.size());

// A column's place from the left, from 0: its column number in a table view.
constexpr int columnIndex(ReviewColumn column)
{
    return static_cast<int>(column);
}
static_assert(
    [] {
        for (int i = 0; i < kReviewColumnCount; ++i)
            if (columnIndex(kReviewColumns[static_cast<std::size_t>(i)]) != i)
                return false;
        return true;
    }(),
    "kReviewColumns lists the columns in the order of ReviewColumn");

constexpr const char* columnTitle(ReviewColumn column)
{
    switch (column) {
    case ReviewColumn::ProductCode:
        return "Product Code";
    case ReviewColumn::ProductName:
        return "Product Name";
    case ReviewColumn::CurrentCost:
        return "Current Cost";
    case ReviewColumn::NewCost:
        return "New Cost";
    case ReviewColumn::CurrentPrice:
        return "Current Price";
    case ReviewColumn::NewPrice:
        return "New Price";
    case ReviewColumn::Change:
        return "Change";
    }
    return "";
}

// The width in the list's own units; only the proportions matter.
constexpr int columnWidth(ReviewColumn column)
{
    switch (column) {
    case ReviewColumn::ProductCode:
        return 120;
    case ReviewColumn::ProductName:
        return 200;
    case ReviewColumn::CurrentCost:
    case ReviewColumn::NewCost:
    case ReviewColumn::CurrentPrice:
    case ReviewColumn::NewPrice:
        return 75;
    case ReviewColumn::Change:
        return 425;
    }
    return 0;
}

// The width of all the columns together, in the same units.
constexpr int totalColumnWidth()
{
    int total = 0;
    for (ReviewColumn column : kReviewColumns)
        total += columnWidth(column);
    return total;
}

// The columns that hold numbers, aligned to the right.
constexpr bool isNumberColumn(ReviewColumn column)
{
    switch (column) {
    case ReviewColumn::CurrentCost:
    case ReviewColumn::NewCost:
    case ReviewColumn::CurrentPrice:
    case ReviewColumn::NewPrice:
        return true;
    case ReviewColumn::ProductCode:
    case ReviewColumn::ProductName:
    case ReviewColumn::Change:
        return false;
    }
    return false;
}

// The review's caption, in the window's title bar and above the terminal's list.
inline constexpr const char* kReviewCaption = "Proposed Changes to Products ";

inline constexpr const char* kPrintTitle = "Product Updates";
inline constexpr const char* kPrintSubTitle = "Proposed Product Changes";

} // namespace tarvex
