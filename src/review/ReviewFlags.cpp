// The rules behind the marks of the review list.
#include "review/ReviewFlags.h"

#include "platform/text/TextHelpers.h"
#include "review/ReviewView.h"

#include <algorithm>
#include <numeric>

namespace tarvex {

namespace {

// More than doubled or more than halved; a new 0 is left to the zero rule.
bool jumped(double current, double next)
{
    return current > 0 && next > 0 && (next > 2 * current || next < current / 2);
}

double priceLeft(const ProposedChange& row)
{
    if (!row.newPrice)
        return row.currentPrice;
    if (row.restore)
        return *row.newPrice;
    return *row.newPrice > row.currentPrice ? *row.newPrice : row.currentPrice;
}

} // namespace

unsigned rowFlags(const ProposedChange& row)
{
    unsigned flags = 0;
    double costLeft = row.newCost.value_or(row.currentCost);
    if (priceLeft(row) < costLeft)
        flags |= kFlagPriceBelowCost;
    if (row.newCost && jumped(row.currentCost, *row.newCost))
        flags |= kFlagCostJump;
    if (row.newPrice && jumped(row.currentPrice, *row.newPrice))
        flags |= kFlagPriceJump;
    if ((row.newCost && *row.newCost == 0 && row.currentCost != 0) ||
        (row.newPrice && *row.newPrice == 0 && row.currentPrice != 0))
        flags |= kFlagZeroReplacing;
    return flags;
}

std::vector<unsigned> reviewFlags(const std::vector<ProposedChange>& rows)
{
    std::vector<unsigned> flags;
    flags.reserve(rows.size());
    for (const ProposedChange& row : rows)
        flags.push_back(rowFlags(row));
    // The rows in code order, letter case ignored, so that the rows of one
    // code stand side by side: an index a row rather than a copy of every
    // code, which would stay in the process's memory after this returns.
    std::vector<RowIndex> byCode(rows.size());
    std::iota(byCode.begin(), byCode.end(), RowIndex{0});
    std::sort(byCode.begin(), byCode.end(),
              [&](RowIndex a, RowIndex b) { return compareFolded(rows[a].quickid, rows[b].quickid) < 0; });
    for (std::size_t i = 1; i < byCode.size(); ++i)
        if (sameIgnoringCase(rows[byCode[i - 1]].quickid, rows[byCode[i]].quickid)) {
            flags[byCode[i - 1]] |= kFlagDuplicateCode;
            flags[byCode[i]] |= kFlagDuplicateCode;
        }
    return flags;
}

std::string flagReasons(unsigned flags)
{
    static constexpr struct {
        unsigned flag;
        const char* text;
    } kReasons[] = {
        {kFlagPriceBelowCost, "The price would be below the cost."},
        {kFlagCostJump, "The cost more than doubles or falls by more than half."},
        {kFlagPriceJump, "The price more than doubles or falls by more than half."},
        {kFlagZeroReplacing, "A cost or price of 0 replaces one that is not 0."},
        {kFlagDuplicateCode,
         "The price list holds this product code more than once: the later row wins, and the earlier one is listed "
         "again at every run."},
    };
    std::string text;
    for (const auto& reason : kReasons)
        if (flags & reason.flag) {
            if (!text.empty())
                text += '\n';
            text += reason.text;
        }
    return text;
}

} // namespace tarvex
