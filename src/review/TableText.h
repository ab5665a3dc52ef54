// Plain-text tables: lines of cells padded so that the columns line up,
// counting display columns rather than bytes. The printed listing and the
// terminal review both lay out their columns here.
#pragma once

#include "platform/Result.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
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

// The same layout for a table too large to hold: cell(line, column) gives
// each cell (it is asked twice, once to measure the columns, once to write),
// and emit takes each line, "\n" included, as soon as it is laid out. Stops
// at emit's first failure and returns it.
using TableCell = std::function<std::string(std::size_t line, std::size_t column)>;
Status writeTable(std::size_t lineCount, std::size_t columns, const TableCell& cell, const TableLayout& layout,
                  const std::function<Status(const std::string& line)>& emit);

// The columns UTF-8 text takes on a terminal: one for most characters, none
// for combining marks, two for wide East Asian characters. Bytes that are not
// UTF-8 count one each.
std::size_t displayWidth(std::string_view text);

// text when it takes at most maxWidth columns; otherwise as much of its start
// as fits in maxWidth - 1 columns, cut between characters, followed by "…".
// cut tells that text is itself only the start of a longer value, so the
// ellipsis is added even when text fits.
std::string clippedToWidth(std::string_view text, std::size_t maxWidth, bool cut = false);

} // namespace tarvex
