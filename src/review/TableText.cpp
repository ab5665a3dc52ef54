// Lining up the columns of a plain-text table.
#include "review/TableText.h"

#include <algorithm>

namespace tarvex {

namespace {

// Characters on screen, counting each UTF-8 sequence once.
std::size_t displayWidth(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// A cell on one line: tabs and line breaks in a name would break the columns.
std::string oneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return text;
}

} // namespace

std::string formatTable(const std::vector<std::vector<std::string>>& lines, const TableLayout& layout)
{
    std::size_t columns = 0;
    for (const auto& line : lines)
        columns = std::max(columns, line.size());
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& line : lines)
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(oneLine(line[c])));

    std::string text;
    for (const auto& cells : lines) {
        std::string line;
        for (std::size_t c = 0; c < columns; ++c) {
            std::string cell = c < cells.size() ? oneLine(cells[c]) : std::string();
            if (c > 0)
                line += layout.separator;
            if (c + 1 == columns) {
                line += cell;
                break;
            }
            std::string padding(widths[c] - std::min(widths[c], displayWidth(cell)), ' ');
            bool right = c < layout.rightAligned.size() && layout.rightAligned[c];
            line += right ? padding + cell : cell + padding;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        text += line + "\n";
    }
    return text;
}

} // namespace tarvex
