// Plain-text form of the review list.
#include "review/ListingText.h"

#include "review/ReviewColumns.h"

#include <algorithm>
#include <array>

namespace tarvex {

namespace {

// Characters on screen, counting each UTF-8 sequence once.
std::size_t displayWidth(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void appendPadded(std::string& line, const std::string& text, std::size_t width, bool rightAligned)
{
    std::string padding(width - std::min(width, displayWidth(text)), ' ');
    line += rightAligned ? padding + text : text + padding;
}

// A cell on one line: tabs and line breaks in a name would break the columns.
std::string oneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return text;
}

} // namespace

std::string listingText(const std::vector<ProposedChange>& rows)
{
    std::array<std::size_t, kReviewColumnCount> widths{};
    for (int c = 0; c < kReviewColumnCount; ++c)
        widths[c] = displayWidth(kReviewColumnTitles[c]);
    for (const ProposedChange& row : rows)
        for (int c = 0; c < kReviewColumnCount; ++c)
            widths[c] = std::max(widths[c], displayWidth(oneLine(row.cell(c))));

    std::string text = std::string(kPrintTitle) + "\n" + kPrintSubTitle + "\n\n";
    auto appendLine = [&](auto cellText) {
        std::string line;
        for (int c = 0; c < kReviewColumnCount; ++c) {
            if (c > 0)
                line += "  ";
            // The last column is not padded: no trailing blanks.
            if (c == kReviewColumnCount - 1)
                line += cellText(c);
            else
                appendPadded(line, cellText(c), widths[c], isNumberColumn(c));
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        text += line + "\n";
    };
    appendLine([](int c) { return std::string(kReviewColumnTitles[c]); });
    for (const ProposedChange& row : rows)
        appendLine([&row](int c) { return oneLine(row.cell(c)); });
    return text;
}

} // namespace tarvex
