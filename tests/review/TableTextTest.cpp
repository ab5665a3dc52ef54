// Plain-text tables: columns that line up by display columns, and cells cut
// to a width between characters, never inside one.
#include "review/TableText.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(TableTextTest, ColumnsLineUpCountingCharactersNotBytes)
{
    TableLayout layout;
    layout.separator = " | ";
    layout.rightAligned = {false, true};
    std::string text = formatTable({{"Name", "Cost", "Note"}, {"Crème\tfine", "7.5", ""}, {"A", "12", "x"}}, layout);
    EXPECT_EQ(text, "Name       | Cost | Note\n"
                    "Crème fine |  7.5 |\n"
                    "A          |   12 | x\n");
}

TEST(TableTextTest, WidthsAreDisplayColumnsAndCutsFallBetweenCharacters)
{
    EXPECT_EQ(displayWidth("Cre\xcc\x80me"), 5u) << "a combining accent takes no column";
    EXPECT_EQ(displayWidth("洗发水"), 6u);
    EXPECT_EQ(clippedToWidth("Шампунь для волос", 8), "Шампунь…");
    EXPECT_EQ(clippedToWidth("Шампунь", 7), "Шампунь");
    EXPECT_EQ(clippedToWidth("洗发水", 4), "洗…");
    EXPECT_EQ(clippedToWidth("Cre\xcc\x80me", 4), "Cre\xcc\x80…");
    EXPECT_EQ(clippedToWidth("Short", 40, true), "Short…") << "the start of a longer value";
}

} // namespace
} // namespace tarvex
