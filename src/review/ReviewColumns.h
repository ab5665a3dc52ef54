// The columns of the list of proposed changes: their titles, in order, and
// their relative widths. The window, the printed list and the plain-text
// listing all take their columns from here.
#pragma once

#include <array>

namespace tarvex {

inline constexpr int kReviewColumnCount = 7;

inline constexpr std::array<const char*, kReviewColumnCount> kReviewColumnTitles = {
    "Product Code", "Product Name", "Current Cost", "New Cost", "Current Price", "New Price", "Change"};

// Widths in the list's own units; only their proportions matter.
inline constexpr std::array<int, kReviewColumnCount> kReviewColumnWidths = {120, 200, 75, 75, 75, 75, 425};

// The columns that hold numbers.
inline constexpr bool isNumberColumn(int column)
{
    return column >= 2 && column <= 5;
}

// The review's caption, in the window's title bar and above the terminal's list.
inline constexpr const char* kReviewCaption = "Proposed Changes to Products ";

inline constexpr const char* kPrintTitle = "Product Updates";
inline constexpr const char* kPrintSubTitle = "Proposed Product Changes";

} // namespace tarvex
