// The listing and writing rules side by side, case by case: what a product is
// listed as, and which of its values an apply writes, from the same values.
#include "review/ChangeRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace tarvex;

namespace {

TEST(ChangeRulesTest, ListingAndWritingDecideAlikeForEveryEmptyAndEqualCase)
{
    const std::optional<double> none;
    struct Case {
        const char* what;
        std::optional<double> vendorCost, vendorPrice, hostCost, hostPrice;
        const char* label; // nullptr: not listed
        bool cost, price;  // written by an apply
    };
    const Case cases[] = {
        {"costs equal, price would fall", 10, 20, 10, 25, nullptr, false, false},
        {"only a lower cost", 9.5, 20, 10, 20, " Price Change", true, false},
        {"both rise", 11, 30, 10, 25, " Cost Change and Price Change", true, true},
        {"cost rises, price falls", 12.5, 10, 10, 25, " Cost Change", true, false},
        {"both fall", 8, 15, 10, 25, " Price Change", true, false},
        {"only the price rises", 10, 26, 10, 25, " Price Change", false, true},
        {"host empty, vendor cost 0", 0, 5, none, none, " Price Change", false, true},
        {"host empty, vendor both 0", 0, 0, none, none, nullptr, false, false},
        {"host empty, vendor cost rises", 3, none, none, 4, " Cost Change", true, false},
        {"vendor empty", none, none, 1, 1, nullptr, false, false},
        {"vendor cost empty, price rises", none, 0.75, 2, 0.5, " Price Change", false, true},
        {"vendor price empty, cost same", 4, none, 4, 9, nullptr, false, false},
        {"all empty", none, none, none, none, nullptr, false, false},
        {"host cost below zero", 0, 1, -0.5, 1, " Cost Change", true, false},
        {"a rise within 15 digits", 10.0000000001, 1, 10, 1, " Cost Change", true, false},
        // Values shown alike are alike, for costs and prices both.
        {"host cost past 15 digits", 10, 1, 10.000000000000002, 1, nullptr, false, false},
        {"vendor cost past 15 digits", 2.2800000000000002, 5, 2.28, 5, nullptr, false, false},
        {"cost alike, price rises", 2.2800000000000002, 9, 2.28, 5, " Price Change", false, true},
        {"vendor price past 15 digits", 2, 2.2800000000000002, 2, 2.28, nullptr, false, false},
        {"sums shown as 0.3", 0.1 + 0.2, 0.1 + 0.2, 0.3, 0.3, nullptr, false, false},
        {"host price past 15 digits", 1, 25, 1, 24.999999999999996, nullptr, false, false},
        {"cost past 15 digits rises", 2.2800000000000002, 5, 2, 5, " Cost Change", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<ChangeLabel> label =
            changeLabel(c.vendorCost, c.vendorPrice, c.hostCost.value_or(0), c.hostPrice.value_or(0));
        EXPECT_EQ(label ? std::optional<std::string>(labelText(*label)) : std::nullopt,
                  c.label ? std::optional<std::string>(c.label) : std::nullopt);
        EXPECT_EQ(costToWrite(c.vendorCost, c.hostCost), c.cost);
        EXPECT_EQ(priceToWrite(c.vendorPrice, c.hostPrice), c.price);
    }
}

} // namespace
