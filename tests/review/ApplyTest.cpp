// Applying the chosen rows to a real host database: what is written, what is
// skipped, and how failures are reported.
#include "ReviewFixture.h"
#include "data/RunJournal.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "review/ChangeApplier.h"
#include "support/Fixtures.h"
#include "support/ReviewRun.h"

#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

class ApplyTest : public ReviewFixture {
protected:
    void selectCodes(PriceReview& review, const std::vector<std::string>& wanted)
    {
        for (std::size_t i = 0; i < review.rows().size(); ++i)
            review.setSelected(i, std::find(wanted.begin(), wanted.end(), review.rows()[i].quickid) != wanted.end());
    }
    const Message& lastMessage() const { return prompter.messages.back(); }
};

TEST_F(ApplyTest, WritesTheChosenRowsAndReportsUpdateComplete)
{
    make(
        {
            {1, "LOWER", "", 9.5, 20.0},
            {2, "BOTH", "", 11.0, 30.0},
            {3, "NEWPRICE", "", 0.0, 5.0},
            {4, "UNCHOSEN", "", 50.0, 50.0},
        },
        {
            {"LOWER", 10.0, 20.0, 0, "keep my name"},
            {"BOTH", 10.0, 25.0},
            {"NEWPRICE", std::nullopt, std::nullopt},
            {"UNCHOSEN", 1.0, 1.0},
        });
    PriceReview& review = build();
    ASSERT_EQ(review.rows().size(), 4u);
    selectCodes(review, {"LOWER", "BOTH", "NEWPRICE"});
    EXPECT_EQ(review.selectedCount(), 3u);

    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Complete);
    EXPECT_EQ(lastMessage().text, "Update Complete");
    EXPECT_EQ(lastMessage().caption, "");
    EXPECT_EQ(lastMessage().icon, MessageIcon::None);
    EXPECT_EQ(lastMessage().buttons, MessageButtons::Ok);
    EXPECT_TRUE(review.rows().empty());
    EXPECT_EQ(review.lastReport().updated, 3u);

    std::vector<HostRow> now = readHostProducts(hostPath);
    EXPECT_EQ(now[0].cost, 9.5);
    EXPECT_EQ(now[0].price, 20.0);
    EXPECT_EQ(now[0].name, "keep my name");
    EXPECT_EQ(now[1].cost, 11.0);
    EXPECT_EQ(now[1].price, 30.0);
    // Vendor cost 0 against an empty host cost is no change: still empty.
    EXPECT_EQ(now[2].cost, std::nullopt);
    EXPECT_EQ(now[2].price, 5.0);
    EXPECT_EQ(now[3].cost, 1.0);
    EXPECT_EQ(integrityCheck(hostPath), "ok");
}

TEST_F(ApplyTest, DecisionsAreMadeAgainFromTheDatabasesAtApplyTime)
{
    make({{1, "A", "", 11.0, 30.0}, {2, "B", "", 11.0, 30.0}}, {{"A", 10.0, 25.0}, {"B", 10.0, 25.0}});
    PriceReview& review = build();
    review.selectAll();
    // Since the list was built: the vendor lowered A's price below the host's,
    // and someone raised B's host price above the vendor's.
    execSql(updatePath, "UPDATE product SET retailprice = 24 WHERE ID = 1");
    execSql(hostPath, "UPDATE product SET retailprice = 40 WHERE quickid = 'B'");
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Complete);
    std::vector<HostRow> now = readHostProducts(hostPath);
    EXPECT_EQ(now[0].cost, 11.0);
    EXPECT_EQ(now[0].price, 25.0);
    EXPECT_EQ(now[1].cost, 11.0);
    EXPECT_EQ(now[1].price, 40.0);
}

TEST_F(ApplyTest, DuplicateVendorCodesGiveTheLaterCostAndTheGreatestPrice)
{
    make({{1, "DUP", "first", 12.0, 40.0}, {2, "DUP", "second", 11.0, 35.0}}, {{"DUP", 10.0, 30.0}});
    PriceReview& review = build();
    ASSERT_EQ(review.rows().size(), 2u);
    EXPECT_EQ(review.rows()[0].vendorId, 1);
    EXPECT_EQ(review.rows()[1].vendorId, 2);
    review.selectAll();
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Complete);
    EXPECT_EQ(hostRow(1).cost, 11.0);
    EXPECT_EQ(hostRow(1).price, 40.0);
}

TEST_F(ApplyTest, RowsWhoseProductsVanishedAreSkippedSilently)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}, {3, "C", "", 2.0, 2.0}},
         {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}, {"C", 1.0, 1.0}});
    PriceReview& review = build();
    review.selectAll();
    execSql(updatePath, "DELETE FROM product WHERE ID = 1");
    execSql(hostPath, "DELETE FROM product WHERE quickid = 'B'");
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Complete);
    EXPECT_EQ(lastMessage().text, "Update Complete");
    EXPECT_EQ(review.lastReport().updated, 1u);
    EXPECT_EQ(review.lastReport().unchanged, 2u);
    std::vector<HostRow> now = readHostProducts(hostPath);
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(now[0].cost, 1.0);
    EXPECT_EQ(now[1].cost, 2.0);
}

TEST_F(ApplyTest, NothingSelectedWritesNothingAndKeepsTheList)
{
    make({{1, "A", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}});
    PriceReview& review = build();
    review.selectAll();
    review.unselectAll();
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::NothingSelected);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "Select products to update.");
    EXPECT_EQ(lastMessage().caption, "Nothing Selected");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Exclamation);
    EXPECT_EQ(lastMessage().buttons, MessageButtons::Ok);
    EXPECT_EQ(review.rows().size(), 1u);
    EXPECT_EQ(review.rows()[0].vendorId, 1);
    EXPECT_EQ(hostRow(1).cost, 1.0);

    // The window stays open: choosing a row then applies it.
    review.setSelected(0, true);
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Complete);
    EXPECT_EQ(hostRow(1).cost, 2.0);
}

TEST_F(ApplyTest, AnEmptyListHasNothingToSelect)
{
    make({{1, "A", "", 1.0, 1.0}}, {{"A", 1.0, 1.0}});
    PriceReview& review = build();
    EXPECT_EQ(review.countLabel(), "0 Products to be Updated");
    prompter.busyChanges.clear();
    review.selectAll();
    EXPECT_EQ(prompter.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::NothingSelected);
    EXPECT_EQ(lastMessage().caption, "Nothing Selected");
}

TEST_F(ApplyTest, AFailedSaveIsReportedWithItsCodeAndTheOthersStaySaved)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}, {3, "C", "", 2.0, 2.0}},
         {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}, {"C", 1.0, 1.0}});
    // The host refuses any change to B, as a trigger of the host application
    // might.
    execSql(hostPath, "CREATE TRIGGER refuse_b BEFORE UPDATE ON product WHEN old.quickid = 'B' "
                      "BEGIN SELECT RAISE(ABORT, 'B is frozen'); END");
    PriceReview& review = build();
    review.selectAll();
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Incomplete);

    for (const Message& m : prompter.messages)
        EXPECT_NE(m.text, "Update Complete");
    EXPECT_EQ(lastMessage().caption, "Update Incomplete");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Critical);
    EXPECT_NE(lastMessage().text.find("2 products were updated"), std::string::npos) << lastMessage().text;
    EXPECT_NE(lastMessage().text.find("1 product could not be updated: B."), std::string::npos) << lastMessage().text;
    EXPECT_NE(lastMessage().detail.find("B is frozen"), std::string::npos) << lastMessage().detail;

    std::vector<HostRow> now = readHostProducts(hostPath);
    EXPECT_EQ(now[0].cost, 2.0);
    EXPECT_EQ(now[1].cost, 1.0);
    EXPECT_EQ(now[1].price, 1.0);
    EXPECT_EQ(now[2].cost, 2.0);
    EXPECT_EQ(now[2].price, 2.0);
}

// A product that another program renames in an Access host while the review
// is open is not written: the record at BW-101's place now holds BX-101,
// with the amounts it had. kv-renamed-2000.mdb is kv-2000.mdb after Jackcess
// renamed BW-101 to BX-101 (updating the QuickID index too); it is written
// over the host in place, as that program changes the file. The product is
// named as changed since it was read, and every other product is written.
TEST_F(ApplyTest, AnAccessProductRenamedWhileTheReviewIsOpenIsNotWritten)
{
    auto fixture = [](const std::string& name) { return fixturePath("access/" + name); };
    std::filesystem::copy_file(fixture("invupdate-2000.mdb"), updatePath);
    std::filesystem::copy_file(fixture("kv-2000.mdb"), hostPath);
    PriceReview& review = build();
    ASSERT_NE(find(review.rows(), "BW-101"), nullptr);
    std::size_t listed = review.rows().size();
    review.selectAll();
    {
        std::string renamed = readFile(fixture("kv-renamed-2000.mdb"));
        std::fstream out(hostPath, std::ios::binary | std::ios::in | std::ios::out);
        out.write(renamed.data(), static_cast<std::streamsize>(renamed.size()));
        ASSERT_TRUE(out.good());
    }
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Incomplete);

    const ApplyReport& report = review.lastReport();
    EXPECT_EQ(report.updated, listed - 1);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].code, "BW-101");
    EXPECT_NE(report.failed[0].reason.find("another program has changed its \"quickid\" since it was read"),
              std::string::npos)
        << report.failed[0].reason;
    Result<Database> now = Database::open(hostPath, {.mode = OpenMode::ReadOnly});
    ASSERT_TRUE(now.ok()) << now.error();
    Result<Recordset> products = now->openTable("product", {"quickid", "cost", "retailprice"});
    ASSERT_TRUE(products.ok() && products->setIndex("QuickID").ok());
    auto amounts = [&](const std::string& code) {
        EXPECT_TRUE(products->seek(Key{code}).ok() && !products->noMatch()) << code;
        return std::pair(*products->number("cost"), *products->number("retailprice"));
    };
    EXPECT_EQ(amounts("BX-101"), std::pair(std::optional(10.0), std::optional(25.0)));
    EXPECT_EQ(amounts("BW-100"), std::pair(std::optional(9.5), std::optional(25.0)));
}

TEST_F(ApplyTest, AHostThatRefusesAllWritesIsNotTriedRowAfterRow)
{
    std::vector<VendorRow> vendor;
    std::vector<HostRow> hostRows;
    for (int i = 0; i < 12; ++i) {
        std::string code = "Q" + std::to_string(10 + i);
        vendor.push_back({i + 1, code, "", 2.0, 2.0});
        hostRows.push_back({code, 1.0, 1.0});
    }
    make(vendor, hostRows);
    PriceReview& review = build();
    review.selectAll();
    // The connection can no longer write, as with a file made read-only.
    ASSERT_EQ(sqlite3_exec(sqliteHandle(*host), "PRAGMA query_only = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Incomplete);

    EXPECT_EQ(review.lastReport().updated, 0u);
    ASSERT_EQ(review.lastReport().failed.size(), 12u);
    EXPECT_NE(review.lastReport().failed[1].reason.find("not tried"), std::string::npos);
    const Message& m = lastMessage();
    EXPECT_EQ(m.caption, "Update Incomplete");
    EXPECT_NE(m.text.find("0 products were updated. 12 products could not be updated"), std::string::npos) << m.text;
    EXPECT_EQ(m.text.find("keep their new values"), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("Nothing was written to " + hostPath + "."), std::string::npos) << m.text;
    for (const VendorRow& row : vendor)
        EXPECT_NE(m.detail.find(*row.quickid + ": "), std::string::npos) << m.detail;
    for (const HostRow& row : readHostProducts(hostPath))
        EXPECT_EQ(row.cost, 1.0);
}

TEST_F(ApplyTest, AHostLockedByAnotherProgramIsReportedNotCompleted)
{
    make({{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}});
    // The lock is held for the whole apply: a short wait for it is enough.
    PriceReview& review = build(OpenOptions{100});
    review.selectAll();

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(hostPath.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    PriceReview::ApplyOutcome outcome = review.apply();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(other);

    EXPECT_EQ(outcome, PriceReview::ApplyOutcome::Incomplete);
    EXPECT_EQ(lastMessage().caption, "Update Incomplete");
    EXPECT_NE(lastMessage().text.find("could not be updated: A, B."), std::string::npos) << lastMessage().text;
    EXPECT_NE(lastMessage().detail.find(hostPath), std::string::npos);
    EXPECT_EQ(hostRow(1).cost, 1.0);
    EXPECT_EQ(hostRow(2).cost, 1.0);
}

TEST_F(ApplyTest, SelectAllAndUnSelectAllKeepTheRowsAndUseTheBusyPointer)
{
    make({{1, "B", "", 2.0, 2.0}, {2, "A", "", 2.0, 2.0}}, {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}});
    PriceReview& review = build();
    prompter.busyChanges.clear();
    review.selectAll();
    EXPECT_EQ(review.selectedCount(), 2u);
    review.unselectAll();
    EXPECT_EQ(review.selectedCount(), 0u);
    EXPECT_EQ(prompter.busyChanges, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(codes(review.rows()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(review.rows()[0].vendorId, 2);
    EXPECT_EQ(review.rows()[1].vendorId, 1);
    review.setSelected(99, true);
    EXPECT_EQ(review.selectedCount(), 0u);
}

TEST_F(ApplyTest, AStopSignalEndsTheApplyAfterTheProductBeingSavedAndSaysWhatWasNotWritten)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        TempDir here;
        std::string hostFile = here.file("kv.mdb");
        makeUpdateDatabase(here.file("invupdate.mdb"), {"Acme"},
                           {{1, "A", "", 2.0, 2.0}, {2, "B", "", 2.0, 2.0}, {3, "C", "", 2.0, 2.0}});
        makeHostDatabase(hostFile, {{"A", 1.0, 1.0}, {"B", 1.0, 1.0}, {"C", 1.0, 1.0}});
        struct sigaction before = {};
        ::sigaction(signal, nullptr, &before);
        {
            ReviewRun run(here.file("invupdate.mdb"), hostFile, ReviewRun::Record::Yes);
            ASSERT_TRUE(run.buildAndSelectAll());
            HookedPrompter& hooked = run.prompter;
            PriceReview& review = run.review;
            // The signal lands while A, the first product, is being saved.
            hooked.onEvents = [&] { ::raise(signal); };
            EXPECT_EQ(review.apply(), PriceReview::ApplyOutcome::Incomplete);

            const ApplyReport& report = review.lastReport();
            EXPECT_EQ(report.stopped, ApplyReport::Stop::Asked);
            EXPECT_EQ(report.updated, 1u);
            ASSERT_EQ(report.failed.size(), 2u);
            EXPECT_NE(report.failed[0].reason.find("stopped by SIG"), std::string::npos) << report.failed[0].reason;
            const Message& m = hooked.messages.back();
            EXPECT_EQ(m.caption, "Update Incomplete");
            EXPECT_NE(m.text.find("1 product was updated. 2 products could not be updated: B, C."), std::string::npos)
                << m.text;
            EXPECT_NE(m.text.find("stopped by SIG"), std::string::npos) << m.text;
            EXPECT_EQ(PriceReview::runEndAfter(PriceReview::ApplyOutcome::Incomplete), RunEnd::Error);
        }
        // The handler is gone with the apply: the signal has its old effect.
        struct sigaction after = {};
        ::sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);

        std::vector<HostRow> now = readHostProducts(hostFile);
        EXPECT_EQ(now[0].cost, 2.0);
        EXPECT_EQ(now[0].price, 2.0);
        EXPECT_EQ(now[1].cost, 1.0);
        EXPECT_EQ(now[2].price, 1.0);
        EXPECT_FALSE(std::filesystem::exists(hostFile + "-journal"));
        // The entries of the products not reached are marked, and the run
        // finished: nothing is left for the next run to put right.
        Result<RunSummary> recorded = runToUndo(hostFile, 1);
        ASSERT_TRUE(recorded.ok()) << recorded.error();
        EXPECT_TRUE(recorded->finished);
        EXPECT_EQ(recorded->changed, 1u);
        EXPECT_EQ(recorded->pending, 0u);
    }
}

// The entries past a run's first commit are written while its first
// products are saved. When their commit fails (here an undo whose 67th row
// puts back an entry no run holds), none of its products is saved: the
// first 64 are, and the apply stops as a record that cannot be written.
// Else every product is saved and marked so. Either way the run finishes.
TEST(ApplyPlannedEntriesTest, NoProductIsSavedWhoseEntrysCommitFailedAndEverySavedOneIsMarked)
{
    struct Case {
        int products;
        std::optional<int> refused;
    };
    for (const Case& c : {Case{70, 66}, Case{700, std::nullopt}}) {
        SCOPED_TRACE(c.products);
        TempDir dir(TempDir::Where::Memory);
        std::string hostPath = dir.file("kv.mdb");
        std::vector<HostRow> written;
        for (int i = 0; i < c.products; ++i)
            written.push_back({"P" + std::to_string(i), 5.0, 9.0});
        makeHostDatabase(hostPath, written);
        std::vector<std::int64_t> ids;
        {
            Result<RunRecordFile> record = RunRecordFile::open(hostPath);
            ASSERT_TRUE(record.ok()) << record.error();
            std::int64_t run = *record->beginRun(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_1"));
            for (int i = 0; i < c.products; ++i) {
                Result<std::int64_t> id = record->recordIntent(
                    run, {std::int64_t{i + 1}, "P" + std::to_string(i), "", 4.0, 8.0, 5.0, 9.0, {}});
                ASSERT_TRUE(id.ok() && record->markDone(*id, EntryState::Saved).ok());
                ids.push_back(*id);
            }
            ASSERT_TRUE(record->finishRun(run).ok());
        }
        std::vector<ProposedChange> rows(static_cast<std::size_t>(c.products));
        std::vector<const ProposedChange*> chosen;
        for (int i = 0; i < c.products; ++i) {
            ProposedChange& row = rows[static_cast<std::size_t>(i)];
            row.quickid = "P" + std::to_string(i);
            row.newCost = 4.0;
            row.newPrice = 8.0;
            row.restore = std::make_unique<ProposedChange::Restore>();
            row.restore->entry = i == c.refused ? 999999 : ids[static_cast<std::size_t>(i)];
            row.restore->hostRecord = i + 1;
            row.restore->costWritten = 5.0;
            row.restore->priceWritten = 9.0;
            chosen.push_back(&row);
        }
        Result<Database> host = Database::open(hostPath);
        ASSERT_TRUE(host.ok()) << host.error();
        RunInfo info = runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_2");
        info.kind = RunKind::Undo;
        info.undoes = 1;
        RunJournal journal(info);
        ScriptedPrompter prompter;
        ApplyReport report = applyChanges(nullptr, *host, chosen, prompter, &journal);

        const int saved = c.refused ? 64 : c.products;
        EXPECT_EQ(report.stopped, c.refused ? ApplyReport::Stop::NotRecorded : ApplyReport::Stop::None);
        EXPECT_EQ(report.updated, static_cast<std::size_t>(saved));
        std::vector<HostRow> now = readHostProducts(hostPath);
        for (int i = 0; i < c.products; ++i)
            EXPECT_EQ(now[static_cast<std::size_t>(i)].cost, i < saved ? 4.0 : 5.0) << "P" << i;
        Result<RunSummary> run = runToUndo(hostPath, 2);
        ASSERT_TRUE(run.ok()) << run.error();
        EXPECT_TRUE(run->finished);
        EXPECT_EQ(run->changed, static_cast<std::size_t>(saved));
        EXPECT_EQ(run->pending, 0u);
    }
}

} // namespace
