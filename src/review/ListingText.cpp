// Plain-text form of the review list.
#include "review/ListingText.h"

#include "platform/text/VisibleText.h"
#include "review/ReviewColumns.h"
#include "review/TableText.h"

namespace tarvex {

Status writeListing(const std::vector<ProposedChange>& rows, const PrintHeading& heading,
                    const std::function<Status(const std::string& line)>& emit)
{
    for (const std::string& line :
         {std::string(kPrintTitle), std::string(kPrintSubTitle), printHeadingLine(heading), std::string()})
        if (Status emitted = emit(line + "\n"); !emitted.ok())
            return emitted;
    // Column 0 holds the selection mark; column c the review column c - 1.
    TableLayout layout;
    layout.rightAligned.push_back(false);
    for (ReviewColumn column : kReviewColumns)
        layout.rightAligned.push_back(isNumberColumn(column));
    // Line 0 holds the column titles, line n the row n - 1.
    auto cell = [&](std::size_t line, std::size_t index) {
        if (index == 0)
            return line == 0 ? std::string() : std::string(printsSelected(heading, line - 1) ? "[x]" : "[ ]");
        ReviewColumn column = kReviewColumns[index - 1];
        return line == 0 ? std::string(columnTitle(column)) : visibleText(rows[line - 1].cell(column));
    };
    return writeTable(rows.size() + 1, kReviewColumnCount + 1, cell, layout, emit);
}

std::string listingText(const std::vector<ProposedChange>& rows, const PrintHeading& heading)
{
    std::string text;
    // Appending to a text cannot fail, so neither can the listing.
    [[maybe_unused]] Status written = writeListing(rows, heading, [&](const std::string& line) {
        text += line;
        return Status::success();
    });
    return text;
}

} // namespace tarvex
