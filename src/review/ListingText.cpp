// Plain-text form of the review list.
#include "review/ListingText.h"

#include "review/ReviewColumns.h"
#include "review/TableText.h"

namespace tarvex {

std::string listingText(const std::vector<ProposedChange>& rows)
{
    TableLayout layout;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> titles;
    for (ReviewColumn column : kReviewColumns) {
        titles.emplace_back(columnTitle(column));
        layout.rightAligned.push_back(isNumberColumn(column));
    }
    lines.push_back(std::move(titles));
    for (const ProposedChange& row : rows) {
        std::vector<std::string> cells;
        for (ReviewColumn column : kReviewColumns)
            cells.push_back(row.cell(column));
        lines.push_back(std::move(cells));
    }
    return std::string(kPrintTitle) + "\n" + kPrintSubTitle + "\n\n" + formatTable(lines, layout);
}

} // namespace tarvex
