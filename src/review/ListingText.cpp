// Plain-text form of the review list.
#include "review/ListingText.h"

#include "platform/text/VisibleText.h"
#include "review/ReviewColumns.h"
#include "review/TableText.h"

namespace tarvex {

Status writeListing(const std::vector<ProposedChange>& rows, const std::function<Status(const std::string& line)>& emit)
{
    for (const char* line : {kPrintTitle, kPrintSubTitle, ""})
        if (Status emitted = emit(std::string(line) + "\n"); !emitted.ok())
            return emitted;
    TableLayout layout;
    for (ReviewColumn column : kReviewColumns)
        layout.rightAligned.push_back(isNumberColumn(column));
    // Line 0 holds the column titles, line n the row n - 1.
    auto cell = [&](std::size_t line, std::size_t index) {
        ReviewColumn column = kReviewColumns[index];
        return line == 0 ? std::string(columnTitle(column)) : visibleText(rows[line - 1].cell(column));
    };
    return writeTable(rows.size() + 1, kReviewColumnCount, cell, layout, emit);
}

std::string listingText(const std::vector<ProposedChange>& rows)
{
    std::string text;
    // Appending to a text cannot fail, so neither can the listing.
    [[maybe_unused]] Status written = writeListing(rows, [&](const std::string& line) {
        text += line;
        return Status::success();
    });
    return text;
}

} // namespace tarvex
