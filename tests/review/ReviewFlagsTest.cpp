// The rules that mark rows for a second look, one case a line.
#include "review/ReviewFlags.h"

#include <gtest/gtest.h>

using namespace tarvex;

namespace {

struct FlagCase {
    const char* what;
    double currentCost;
    std::optional<double> newCost;
    double currentPrice;
    std::optional<double> newPrice;
    bool undo;
    unsigned flags;
};

TEST(ReviewFlagsTest, EachRuleMarksOnlyItsOwnRows)
{
    const FlagCase cases[] = {
        {"an ordinary rise", 10, 11, 20, 22, false, 0},
        {"new price below new cost", 10, 12, 11, 11.5, false, kFlagPriceBelowCost},
        {"a lower vendor price is not written", 10, 12, 20, 11, false, 0},
        {"a new cost above a price left as it is", 10, 15, 14, std::nullopt, false, kFlagPriceBelowCost},
        {"cost exactly doubled", 10, 20, 40, 40, false, 0},
        {"cost more than doubled", 10, 20.01, 40, 40, false, kFlagCostJump},
        {"cost less than half", 10, 4.99, 20, 20, false, kFlagCostJump},
        {"cost from 0 has no double", 0, 5, 20, 20, false, 0},
        {"price more than doubled", 1, 1, 10, 25, false, kFlagPriceJump},
        {"price less than half, even unwritten", 1, 1, 10, 4, false, kFlagPriceJump},
        {"cost of 0 replacing a cost", 10, 0, 20, 20, false, kFlagZeroReplacing},
        {"price of 0 replacing a price", 1, 1, 10, 0, false, kFlagZeroReplacing},
        {"0 for 0 is no change", 0, 0, 5, 6, false, 0},
        {"an undo puts back a lower price", 5, 5, 10, 4, true, kFlagPriceBelowCost | kFlagPriceJump},
        {"an empty new value is no jump", 10, std::nullopt, 20, std::nullopt, false, 0},
    };
    for (const FlagCase& c : cases) {
        ProposedChange row;
        row.quickid = "A";
        row.currentCost = c.currentCost;
        row.newCost = c.newCost;
        row.currentPrice = c.currentPrice;
        row.newPrice = c.newPrice;
        if (c.undo)
            row.restore = std::make_unique<ProposedChange::Restore>();
        EXPECT_EQ(rowFlags(row), c.flags) << c.what;
    }
}

TEST(ReviewFlagsTest, ACodeListedTwiceMarksBothRowsLetterCaseIgnored)
{
    std::vector<ProposedChange> rows(3);
    rows[0].quickid = "ab-1";
    rows[1].quickid = "CD";
    rows[2].quickid = "AB-1";
    for (ProposedChange& row : rows) {
        row.currentCost = row.currentPrice = 1;
        row.newCost = row.newPrice = 1;
    }
    EXPECT_EQ(reviewFlags(rows), (std::vector<unsigned>{kFlagDuplicateCode, 0, kFlagDuplicateCode}));
    EXPECT_NE(flagReasons(kFlagDuplicateCode | kFlagCostJump).find('\n'), std::string::npos);
    EXPECT_EQ(flagReasons(0), "");
}

} // namespace
