// Lining up the columns of a plain-text table.
#include "review/TableText.h"

#include <algorithm>

namespace tarvex {

namespace {

constexpr const char* kEllipsis = "…";

// The code point of the UTF-8 sequence at text[at] and its length in bytes;
// a byte that does not start a sequence stands for itself.
char32_t decode(std::string_view text, std::size_t at, std::size_t& length)
{
    auto lead = static_cast<unsigned char>(text[at]);
    length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (at + length > text.size())
        length = 1;
    if (length == 1)
        return lead;
    char32_t point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            length = 1;
            return lead;
        }
        point = point << 6 | (next & 0x3F);
    }
    return point;
}

std::size_t charWidth(char32_t c)
{
    // Combining marks and zero-width characters sit on the character before.
    if ((c >= 0x300 && c <= 0x36F) || (c >= 0x483 && c <= 0x489) || (c >= 0x591 && c <= 0x5BD) ||
        (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x200B && c <= 0x200F) ||
        (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F))
        return 0;
    // Hangul, CJK, full-width forms and pictographs take two columns.
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) ||
        (c >= 0x20000 && c <= 0x3FFFD))
        return 2;
    return 1;
}

// A cell on one line: tabs and line breaks in a name would break the columns.
std::string oneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return text;
}

} // namespace

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length)
        width += charWidth(decode(text, at, length));
    return width;
}

std::string clippedToWidth(std::string_view text, std::size_t maxWidth, bool cut)
{
    if (!cut && displayWidth(text) <= maxWidth)
        return std::string(text);
    std::size_t room = maxWidth > 0 ? maxWidth - 1 : 0;
    std::size_t width = 0, at = 0;
    while (at < text.size()) {
        std::size_t length = 0;
        std::size_t next = charWidth(decode(text, at, length));
        if (width + next > room)
            break;
        width += next;
        at += length;
    }
    return std::string(text.substr(0, at)) + kEllipsis;
}

Status writeTable(std::size_t lineCount, std::size_t columns, const TableCell& cell, const TableLayout& layout,
                  const std::function<Status(const std::string& line)>& emit)
{
    std::vector<std::size_t> widths(columns, 0);
    for (std::size_t l = 0; l < lineCount; ++l)
        for (std::size_t c = 0; c + 1 < columns; ++c)
            widths[c] = std::max(widths[c], displayWidth(oneLine(cell(l, c))));

    for (std::size_t l = 0; l < lineCount; ++l) {
        std::string line;
        for (std::size_t c = 0; c < columns; ++c) {
            std::string text = oneLine(cell(l, c));
            if (c > 0)
                line += layout.separator;
            if (c + 1 == columns) {
                line += text;
                break;
            }
            std::string padding(widths[c] - std::min(widths[c], displayWidth(text)), ' ');
            bool right = c < layout.rightAligned.size() && layout.rightAligned[c];
            line += right ? padding + text : text + padding;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        if (Status emitted = emit(line + "\n"); !emitted.ok())
            return emitted;
    }
    return Status::success();
}

std::string formatTable(const std::vector<std::vector<std::string>>& lines, const TableLayout& layout)
{
    std::size_t columns = 0;
    for (const auto& line : lines)
        columns = std::max(columns, line.size());
    std::string text;
    // Appending to a text cannot fail, so neither can the table.
    [[maybe_unused]] Status written = writeTable(
        lines.size(), columns,
        [&](std::size_t l, std::size_t c) { return c < lines[l].size() ? lines[l][c] : std::string(); }, layout,
        [&](const std::string& line) {
            text += line;
            return Status::success();
        });
    return text;
}

} // namespace tarvex
