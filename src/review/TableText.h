// Plain-text tables: lines of cells padded so that the columns line up,
// counting each UTF-8 character once. The printed listing and the terminal
// review both lay out their columns here.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

struct TableLayout {
    // Put between two cells of a line.
    std::string separator = "  ";
    // Whether each column's cells are right-aligned (numbers); columns past
    // its end are left-aligned.
    std::vector<bool> rightAligned;
};

// The lines of a table, each ending in "\n". Every column but the last is as
// wide as its widest cell; the last is not padded, and no line ends in a
// blank. Tabs and line breaks inside a cell become blanks, so that a cell
// never breaks its line. Lines may have fewer cells than others; the missing
// ones are taken as empty.
std::string formatTable(const std::vector<std::vector<std::string>>& lines, const TableLayout& layout);

} // namespace tarvex
