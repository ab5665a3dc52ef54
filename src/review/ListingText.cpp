// Plain-text form of the review list.
#include "review/ListingText.h"

#include "platform/VisibleText.h"
#include "review/ReviewColumns.h"
#include "review/TableText.h"

namespace tarvex {

std::string listingText(const std::vector<ProposedChange>& rows)
{
    TableLayout layout;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> titles;
    for (int c = 0; c < kReviewColumnCount; ++c) {
        titles.emplace_back(kReviewColumnTitles[c]);
        layout.rightAligned.push_back(isNumberColumn(c));
    }
    lines.push_back(std::move(titles));
    for (const ProposedChange& row : rows) {
        std::vector<std::string> cells;
        for (int c = 0; c < kReviewColumnCount; ++c)
            cells.push_back(visibleText(row.cell(c)));
        lines.push_back(std::move(cells));
    }
    return std::string(kPrintTitle) + "\n" + kPrintSubTitle + "\n\n" + formatTable(lines, layout);
}

} // namespace tarvex
