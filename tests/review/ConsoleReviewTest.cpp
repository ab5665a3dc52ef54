// The terminal review over real database files, driven through text streams:
// its table, and the messages it shares with the window.
#include "review/ConsoleReview.h"
#include "review/TableText.h"
#include "startup/ExitStatus.h"

#include "ReviewFixture.h"

#include <sstream>

namespace tarvex::test {

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

class ConsoleReviewTest : public ReviewFixture {
protected:
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    ConsolePrompter console{in, out, err, false};
};

TEST_F(ConsoleReviewTest, AListThatCannotBeBuiltIsReportedAndEndsTheRun)
{
    make({{1, "A1", "Alpha", 2.0, 3.0}}, {{"A1", 1.0, 3.0}});
    execSql(hostPath, "DROP TABLE product;");
    open();
    PriceReview review(*update, *host, console);
    ConsoleReview terminal(review, console, {});
    EXPECT_EQ(terminal.run(), kExitError);
    EXPECT_EQ(out.str().rfind("[Error Reading Database] The list of proposed changes could not be built.\n", 0), 0u)
        << out.str();
    EXPECT_EQ(out.str().find("Proposed Changes to Products"), std::string::npos);
}

TEST_F(ConsoleReviewTest, MarksFollowTheSelectionAndAPdfWithoutPrinterIsRefused)
{
    make({{1, "A1", "Alpha", 2.0, 3.0}, {2, "B2", "Beta", 5.0, 9.0}}, {{"A1", 1.0, 3.0}, {"B2", 1.0, 3.0}});
    open();
    PriceReview review(*update, *host, console);
    ASSERT_TRUE(review.build().ok());
    ConsoleReview terminal(review, console, {});
    EXPECT_TRUE(terminal.execute("SELECT 2"));
    std::string table = terminal.tableText();
    EXPECT_NE(table.find("\n1 | [ ] | A1"), std::string::npos) << table;
    EXPECT_NE(table.find("\n2 | [x] | B2"), std::string::npos) << table;
    EXPECT_EQ(table.find(" \n"), std::string::npos) << "no trailing blanks";

    EXPECT_TRUE(terminal.execute("print " + dir.file("list.pdf")));
    EXPECT_NE(out.str().find("[Print List] The list could not be printed."), std::string::npos) << out.str();
    EXPECT_FALSE(std::filesystem::exists(dir.file("list.pdf")));

    EXPECT_FALSE(terminal.execute("exit"));
    EXPECT_EQ(terminal.exitStatus(), kExitOk);
    EXPECT_EQ(readHostProducts(hostPath).at(1).cost, 1.0);
}

} // namespace

} // namespace tarvex::test
