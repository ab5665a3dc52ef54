// Which vendor products the review lists, with which cells and labels, on
// real database files.
#include "ReviewFixture.h"
#include "platform/sqlite/SqliteDatabase.h"

#include "review/ChangeList.h"
#include "review/NumberText.h"
#include "review/ReviewColumns.h"
#include "support/AccessFiles.h"
#include "support/Fixtures.h"

#include <sqlite3.h>

#include <clocale>
#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;

namespace {

class ChangeListTest : public ReviewFixture {};

TEST_F(ChangeListTest, ListsCostChangesAndPriceRisesWithTheirLabels)
{
    make(
        {
            {1, "EQUAL", "Costs equal, price would fall", 10.0, 20.0},
            {2, "LOWER", "Cheaper to buy", 9.5, 20.0},
            {3, "BOTH", "Both rise", 11.0, 30.0},
            {4, "COSTUP", "Cost rises, price falls", 12.5, 10.0},
            {5, "LOWBOTH", "Both fall", 8.0, 15.0},
            {6, "PRICEUP", "Only the price rises", 10.0, 26.0},
            {7, "NOHOST", "Not in the host", 1.0, 100.0},
        },
        {
            {"EQUAL", 10.0, 25.0},
            {"LOWER", 10.0, 20.0},
            {"BOTH", 10.0, 25.0},
            {"COSTUP", 10.0, 25.0},
            {"LOWBOTH", 10.0, 25.0},
            {"PRICEUP", 10.0, 25.0},
        });
    PriceReview& review = build();

    // UpdateID order: by product code.
    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"BOTH", "COSTUP", "LOWBOTH", "LOWER", "PRICEUP"}));
    EXPECT_STREQ(labelText(find(review.rows(), "BOTH")->change), " Cost Change and Price Change");
    EXPECT_STREQ(labelText(find(review.rows(), "COSTUP")->change), " Cost Change");
    EXPECT_STREQ(labelText(find(review.rows(), "LOWER")->change), " Price Change");
    EXPECT_STREQ(labelText(find(review.rows(), "LOWBOTH")->change), " Price Change");
    EXPECT_STREQ(labelText(find(review.rows(), "PRICEUP")->change), " Price Change");
    EXPECT_EQ(review.countLabel(), "5 Products to be Updated");

    const ProposedChange& costUp = *find(review.rows(), "COSTUP");
    EXPECT_EQ(costUp.vendorId, 4);
    std::vector<std::string> cells;
    for (ReviewColumn column : kReviewColumns)
        cells.push_back(costUp.cell(column));
    EXPECT_EQ(cells, (std::vector<std::string>{"COSTUP", "Cost rises, price falls", "10", "12.5", "25", "10",
                                               " Cost Change"}));
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_FALSE(prompter.busyChanges.empty());
    EXPECT_FALSE(prompter.busyChanges.back());
}

TEST_F(ChangeListTest, EmptyValuesCountAsZeroOnTheHostAndNeverListOnTheVendorSide)
{
    make(
        {
            {1, "A", "Host cost empty, vendor cost 0, price new", 0.0, 5.0},
            {2, "B", "Vendor values empty", std::nullopt, std::nullopt},
            {3, "C", "Vendor cost empty, price rises", std::nullopt, 0.75},
            {4, "D", "Vendor price empty, cost same", 4.0, std::nullopt},
            {5, "E", "Both empty everywhere", std::nullopt, std::nullopt},
        },
        {{"A", std::nullopt, std::nullopt}, {"B", 1.0, 1.0}, {"C", 2.0, 0.5}, {"D", 4.0, 9.0}, {"E"}});
    PriceReview& review = build();

    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"A", "C"}));
    const ProposedChange& a = *find(review.rows(), "A");
    EXPECT_EQ(a.cell(ReviewColumn::CurrentCost), "0");
    EXPECT_EQ(a.cell(ReviewColumn::CurrentPrice), "0");
    EXPECT_EQ(a.cell(ReviewColumn::NewPrice), "5");
    EXPECT_STREQ(labelText(a.change), " Price Change");
    const ProposedChange& c = *find(review.rows(), "C");
    EXPECT_EQ(c.cell(ReviewColumn::NewCost), "");
    EXPECT_EQ(c.cell(ReviewColumn::NewPrice), "0.75");
    EXPECT_STREQ(labelText(c.change), " Price Change");
}

TEST_F(ChangeListTest, CurrentCostIsComparedInItsFifteenDigitTextForm)
{
    make(
        {
            {1, "ROUNDED", "", 10.0, 1.0},
            {2, "SUM", "", 0.3, 1.0},
            {3, "FINE", "", 10.0000000001, 1.0},
            {4, "NEG", "", 0.0, 1.0},
        },
        {{"ROUNDED", 10.000000000000002, 1.0}, {"SUM", 0.1 + 0.2, 1.0}, {"FINE", 10.0, 1.0}, {"NEG", -0.5, 1.0}});
    PriceReview& review = build();

    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"FINE", "NEG"}));
    // A rise that the text form shows counts, however small.
    EXPECT_STREQ(labelText(find(review.rows(), "FINE")->change), " Cost Change");
    EXPECT_EQ(find(review.rows(), "NEG")->cell(ReviewColumn::CurrentCost), "-0.5");
}

TEST_F(ChangeListTest, AVendorCostWithMoreThanFifteenDigitsIsComparedAsItIsShown)
{
    // A hand-made price list can hold 2.2800000000000002, which is shown as
    // 2.28: against a host cost of 2.28 it neither lists the product nor is
    // written with a price rise, and once applied it is not listed again.
    make(
        {
            {1, "SAME", "", 2.2800000000000002, 5.0},
            {2, "PRICEUP", "", 2.2800000000000002, 9.0},
            {3, "NEW", "", 2.2800000000000002, 5.0},
        },
        {{"SAME", 2.28, 5.0}, {"PRICEUP", 2.28, 5.0}, {"NEW", 2.0, 5.0}});
    PriceReview& review = build();
    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"NEW", "PRICEUP"}));
    EXPECT_STREQ(labelText(find(review.rows(), "PRICEUP")->change), " Price Change");
    EXPECT_STREQ(labelText(find(review.rows(), "NEW")->change), " Cost Change");

    review.selectAll();
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Complete);
    // Costs are written as the vendor gave them, where they change.
    EXPECT_EQ(hostRow(2).cost, 2.28);
    EXPECT_EQ(hostRow(2).price, 9.0);
    EXPECT_EQ(hostRow(3).cost, 2.2800000000000002);

    m_review.reset();
    update.reset();
    host.reset();
    EXPECT_TRUE(build().rows().empty());
}

TEST_F(ChangeListTest, NumberTextHasNoFixedDecimalsAndIgnoresTheLocale)
{
    EXPECT_EQ(numberText(12.5), "12.5");
    EXPECT_EQ(numberText(10), "10");
    EXPECT_EQ(numberText(0.75), "0.75");
    EXPECT_EQ(numberText(1234567.25), "1234567.25");
    EXPECT_EQ(numberText(-0.0), "0");
    EXPECT_EQ(numberText(0.1 + 0.2), "0.3");
    EXPECT_EQ(numberText(1e16), "1e+16");
    EXPECT_EQ(normalisedNumber(10.000000000000002), 10.0);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
        EXPECT_EQ(numberText(12.5), "12.5");
        EXPECT_EQ(normalisedNumber(12.5), 12.5);
        std::setlocale(LC_ALL, "C");
    }
}

TEST_F(ChangeListTest, OnlyLiveVendorProductsAreListedButDeletedHostProductsAreMatched)
{
    make(
        {
            {1, "TRUE", "", 20.0, 20.0, 1},
            {2, "MINUS", "", 20.0, 20.0, -1},
            {3, "EMPTY", "", 20.0, 20.0, 0},
            {4, "HOSTDEL", "", 20.0, 20.0, 0},
            {5, "TWICE", "", 20.0, 20.0, 0},
        },
        {
            {"TRUE", 1.0, 1.0},
            {"MINUS", 1.0, 1.0},
            {"EMPTY", 1.0, 1.0},
            {"HOSTDEL", 1.0, 1.0, 1},
            {"twice", 7.0, 7.0, 1},
            {"TWICE", 3.0, 3.0, 0},
        });
    allowEmptyDeleteFlag();
    execSql(updatePath, "UPDATE product SET \"Delete\" = NULL WHERE quickid = 'EMPTY'");
    PriceReview& review = build();

    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"HOSTDEL", "TWICE"}));
    // The deleted host product comes first in QuickID order (codes compare
    // without regard to case; equal codes in the order they were stored).
    EXPECT_EQ(find(review.rows(), "TWICE")->currentCost, 7.0);
    EXPECT_TRUE(review.unreadable().empty());
}

TEST_F(ChangeListTest, UnreadableProductsAreReportedOnceAndNotListed)
{
    make(
        {
            {1, "GOOD", "", 2.0, 2.0},
            {2, "VCOST", "", 2.0, 2.0},
            {3, "HPRICE", "", 2.0, 2.0},
            {4, "FLAG", "", 2.0, 2.0},
            {5, "GONE", "Deleted, so its text cost does not matter", 2.0, 2.0, 1},
            {6, "NOID", "", 2.0, 2.0},
        },
        {{"GOOD", 1.0, 1.0},
         {"VCOST", 1.0, 1.0},
         {"HPRICE", 1.0, 1.0},
         {"FLAG", 1.0, 1.0},
         {"GONE", 1.0, 1.0},
         {"NOID", 1.0, 1.0}});
    execSql(updatePath, "UPDATE product SET cost = 'n/a' WHERE quickid IN ('VCOST', 'GONE');"
                        "UPDATE product SET \"Delete\" = 'no' WHERE quickid = 'FLAG';"
                        "UPDATE product SET ID = 'none' WHERE quickid = 'NOID'");
    execSql(hostPath, "UPDATE product SET retailprice = x'00ff' WHERE quickid = 'HPRICE'");
    PriceReview& review = build();

    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"GOOD"}));
    ASSERT_EQ(review.unreadable().size(), 4u);
    EXPECT_EQ(review.unreadable()[0].code, "FLAG");
    EXPECT_NE(review.unreadable()[0].reason.find(updatePath), std::string::npos);
    EXPECT_EQ(review.unreadable()[1].code, "HPRICE");
    EXPECT_NE(review.unreadable()[1].reason.find(hostPath), std::string::npos);
    EXPECT_NE(review.unreadable()[1].reason.find("retailprice"), std::string::npos);
    EXPECT_EQ(review.unreadable()[2].code, "NOID");
    EXPECT_NE(review.unreadable()[2].reason.find("\"ID\""), std::string::npos);
    EXPECT_EQ(review.unreadable()[3].code, "VCOST");
    EXPECT_TRUE(prompter.messages.empty());

    review.reportUnreadable();
    review.reportUnreadable();
    ASSERT_EQ(prompter.messages.size(), 1u);
    const Message& told = prompter.messages[0];
    EXPECT_EQ(told.caption, "Products Not Listed");
    EXPECT_EQ(told.icon, MessageIcon::Exclamation);
    EXPECT_NE(told.text.find("4 products could not be read"), std::string::npos) << told.text;
    EXPECT_NE(told.text.find("FLAG, HPRICE, NOID, VCOST"), std::string::npos) << told.text;
    // The explanation covers every reason given: the ID as well as the values.
    EXPECT_NE(told.text.find("without a whole-number ID"), std::string::npos) << told.text;
    EXPECT_NE(told.text.find("Delete flag that is not a number"), std::string::npos) << told.text;
    EXPECT_NE(told.detail.find("VCOST: " + updatePath), std::string::npos) << told.detail;
}

// A price list whose cost and retailprice are Date/Time columns (a copy of a
// genuine one with the columns' type changed: a date is stored as a Double
// is, a count of days): its products are named as not listed, their dates
// never taken for amounts.
TEST_F(ChangeListTest, DatesInThePriceListAreNamedAsNotListed)
{
    std::filesystem::copy_file(fixturePath("access/invupdate-2000.mdb"), updatePath);
    std::filesystem::copy_file(fixturePath("access/kv-2000.mdb"), hostPath);
    for (const char* column : {"cost", "retailprice"})
        setColumnEntry(updatePath, "product", column, column_entry::kType, 0x08);
    PriceReview& review = build();

    EXPECT_TRUE(review.rows().empty());
    // Every live vendor product with a host product: BW-107 is deleted,
    // BW-110 is not in the host, BW-109 is there twice.
    ASSERT_EQ(review.unreadable().size(), 14u);
    EXPECT_EQ(review.unreadable()[0].code, "BW-100");
    EXPECT_NE(review.unreadable()[0].reason.find(updatePath), std::string::npos);
    EXPECT_NE(review.unreadable()[0].reason.find("\"cost\" holds a date (a Date/Time column), not a number"),
              std::string::npos)
        << review.unreadable()[0].reason;
}

TEST_F(ChangeListTest, ManyUnreadableProductsAreNamedInTheDetail)
{
    std::vector<VendorRow> vendor;
    std::vector<HostRow> hostRows;
    for (int i = 0; i < 12; ++i) {
        std::string code = "P" + std::to_string(100 + i);
        vendor.push_back({i + 1, code, "", 2.0, 2.0});
        hostRows.push_back({code, 1.0, 1.0});
    }
    make(vendor, hostRows);
    execSql(hostPath, "UPDATE product SET cost = 'free'");
    PriceReview& review = build();
    EXPECT_TRUE(review.rows().empty());
    EXPECT_EQ(review.countLabel(), "0 Products to be Updated");
    review.reportUnreadable();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].text.find("12 products"), std::string::npos);
    EXPECT_EQ(prompter.messages[0].text.find("P100"), std::string::npos);
    for (const VendorRow& row : vendor)
        EXPECT_NE(prompter.messages[0].detail.find(*row.quickid + ": "), std::string::npos);
}

// Tries to write the host file from another connection whenever the review
// lets events run: that must wait for the review's read lock.
class WritingPrompter : public ScriptedPrompter {
public:
    explicit WritingPrompter(std::string path)
        : m_path(std::move(path))
    {
    }
    void processEvents(EventScope scope) override
    {
        ScriptedPrompter::processEvents(scope);
        EXPECT_EQ(scope, EventScope::ExcludeUserInput);
        sqlite3* db = nullptr;
        sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        writeResults.push_back(sqlite3_exec(db, "UPDATE product SET Name = 'x'", nullptr, nullptr, nullptr));
        sqlite3_close_v2(db);
    }
    std::vector<int> writeResults;

private:
    std::string m_path;
};

TEST_F(ChangeListTest, TheHostIsReadUnderOneLockForTheWholeBuild)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}});
    open();
    WritingPrompter writer(hostPath);
    Result<ChangeList> list = buildChangeList(*update, *host, writer);
    ASSERT_TRUE(list.ok()) << list.error();
    EXPECT_EQ(list->rows.size(), 2u);
    ASSERT_FALSE(writer.writeResults.empty());
    for (int rc : writer.writeResults)
        EXPECT_EQ(rc, SQLITE_BUSY);
    // Once built, the lock is gone.
    EXPECT_EQ(sqlite3_exec(sqliteHandle(*host), "UPDATE product SET Name = 'y'", nullptr, nullptr, nullptr), SQLITE_OK);
}

TEST_F(ChangeListTest, AMissingIndexFailsTheBuildNamingTheFile)
{
    make({{1, "A", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}});
    execSql(hostPath, "DROP INDEX QuickID");
    open();
    PriceReview review(*update, *host, prompter);
    prompter.setBusy(true);
    Status built = review.build();
    EXPECT_FALSE(built.ok());
    EXPECT_NE(built.error().find(hostPath), std::string::npos) << built.error();
    EXPECT_TRUE(review.rows().empty());
    EXPECT_FALSE(prompter.busyChanges.back());
}

} // namespace
