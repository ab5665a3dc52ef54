// Row numbers and ranges as typed at the terminal review.
#include "review/RowList.h"

#include <gtest/gtest.h>

using namespace tarvex;

TEST(RowListTest, NumbersAndRangesBecomeSortedZeroBasedRows)
{
    auto rows = parseRowList(" 5, 1,3-4 ,3", 5);
    ASSERT_TRUE(rows.ok()) << rows.error();
    EXPECT_EQ(*rows, (std::vector<std::size_t>{0, 2, 3, 4}));
}

TEST(RowListTest, RefusesWhatIsNotARowOfTheList)
{
    EXPECT_FALSE(parseRowList("", 5).ok());
    EXPECT_FALSE(parseRowList("0", 5).ok());
    EXPECT_FALSE(parseRowList("6", 5).ok());
    EXPECT_FALSE(parseRowList("4-2", 5).ok());
    EXPECT_FALSE(parseRowList("1,,2", 5).ok());
    EXPECT_FALSE(parseRowList("two", 5).ok());
    EXPECT_FALSE(parseRowList("-3", 5).ok());
    EXPECT_FALSE(parseRowList("1", 0).ok());
    EXPECT_FALSE(parseRowList("99999999999999999999999", 5).ok());
    EXPECT_NE(parseRowList("1,x", 5).error().find("\"x\""), std::string::npos);
}
