// Putting right a run that stopped unfinished: each pending entry is marked
// by what the host record holds now, and the run is then finished.
#include "data/RunJournal.h"

#include "data/DatabaseNames.h"
#include "data/HostProducts.h"

#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

using namespace tarvex;
using namespace tarvex::test;

namespace {

TEST(RunJournalTest, PendingEntriesAreMarkedByWhatTheHostHoldsAndTheRunIsFinished)
{
    TempDir dir;
    std::string hostPath = dir.file("kv.mdb");
    // Rows 1 to 4: saved (new values), not saved (old values), changed since
    // by another program, and a record whose code now belongs to another.
    // Row 6, saved, has a code holding a NUL byte, beside row 5 whose code
    // is the part before it.
    const std::string nulCode("A5\0X", 4);
    makeHostDatabase(hostPath, {{"A1", 11.0, 20.0},
                                {"A2", 2.0, 20.0},
                                {"A3", 99.0, 20.0},
                                {"B4", 4.0, 20.0},
                                {"A5", 5.0, 20.0},
                                {nulCode, 16.0, 20.0}});
    {
        Result<RunRecordFile> record = RunRecordFile::open(hostPath);
        ASSERT_TRUE(record.ok()) << record.error();
        std::int64_t run = *record->beginRun(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_1"));
        for (std::int64_t row = 1; row <= 4; ++row) {
            std::string code = "A" + std::to_string(row);
            double old = static_cast<double>(row);
            ASSERT_TRUE(record->recordIntent(run, {row, code, "", old, 20.0, 10 + old, 20.0, std::nullopt}).ok());
        }
        ASSERT_TRUE(record->recordIntent(run, {6, nulCode, "", 6.0, 20.0, 16.0, 20.0, std::nullopt}).ok());
    }
    Result<Database> host = Database::open(hostPath);
    ASSERT_TRUE(host.ok()) << host.error();
    RunJournal journal(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_2"));
    ASSERT_TRUE(journal.open(*host).ok());

    Result<std::vector<RecordedEntry>> entries = journal.entriesOf(1);
    ASSERT_TRUE(entries.ok()) << entries.error();
    ASSERT_EQ(entries->size(), 5u);
    EXPECT_EQ((*entries)[0].state, EntryState::Saved);
    EXPECT_EQ((*entries)[1].state, EntryState::Failed);
    EXPECT_NE((*entries)[1].reason.find("stopped before this product's save"), std::string::npos);
    EXPECT_EQ((*entries)[2].state, EntryState::Failed);
    EXPECT_NE((*entries)[2].reason.find("neither"), std::string::npos);
    EXPECT_EQ((*entries)[3].state, EntryState::Failed);
    EXPECT_NE((*entries)[3].reason.find("no longer in the host database"), std::string::npos);
    EXPECT_EQ((*entries)[4].product.code, nulCode);
    EXPECT_EQ((*entries)[4].state, EntryState::Saved);

    Result<RunSummary> undone = runToUndo(hostPath, std::nullopt);
    ASSERT_TRUE(undone.ok()) << undone.error();
    EXPECT_EQ(undone->number, 1);
    EXPECT_TRUE(undone->finished);
    EXPECT_EQ(undone->changed, 2u);
}

// A run that stopped after saving a product of an Access host, but before
// marking it, is put right by what the file holds when the next run applies,
// not by the image that run read when it opened the file, before that save.
TEST(RunJournalTest, AStoppedRunIsComparedWithWhatAnAccessHostHoldsNowNotWithTheImageReadAtItsOpen)
{
    TempDir dir;
    std::string hostPath = dir.file("kv.mdb");
    std::filesystem::copy_file(std::string(TARVEX_SOURCE_DIR) + "/tests/data/access/kv-2000.mdb", hostPath);
    Result<Database> host = Database::open(hostPath);
    ASSERT_TRUE(host.ok()) << host.error();
    {
        Result<Database> other = Database::open(hostPath);
        ASSERT_TRUE(other.ok()) << other.error();
        Result<Recordset> products = openHostProducts(*other);
        ASSERT_TRUE(products.ok()) << products.error();
        ASSERT_TRUE(products->moveFirst().ok());
        while (!products->eof() && !products->number(names::kCost)->has_value())
            ASSERT_TRUE(products->moveNext().ok());
        ASSERT_FALSE(products->eof());
        std::string code = products->text(names::kQuickId)->value_or("");
        std::optional<double> cost = *products->number(names::kCost);
        std::optional<double> price = *products->number(names::kRetailPrice);
        Result<RunRecordFile> record = RunRecordFile::open(hostPath);
        ASSERT_TRUE(record.ok()) << record.error();
        std::int64_t run = *record->beginRun(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_1"));
        ProductEntry entry{products->rowId(), code, "", cost, price, *cost + 1, price, std::nullopt};
        ASSERT_TRUE(record->recordIntent(run, entry).ok());
        ASSERT_TRUE(products->edit().ok());
        ASSERT_TRUE(products->setNumber(names::kCost, *cost + 1).ok());
        Status saved = products->update();
        ASSERT_TRUE(saved.ok()) << saved.error();
        other->endSaves();
    }
    RunJournal journal(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_2"));
    Status opened = journal.open(*host);
    ASSERT_TRUE(opened.ok()) << opened.error();
    Result<std::vector<RecordedEntry>> entries = journal.entriesOf(1);
    ASSERT_TRUE(entries.ok() && entries->size() == 1u);
    EXPECT_EQ((*entries)[0].state, EntryState::Saved) << (*entries)[0].reason;
}

// A run's entries written ahead of its saves: the first before the call
// returns, the rest on the journal's thread in commits of their own. Each id
// is given once its commit is done; a commit that fails (here an entry that
// puts back one no run holds) leaves its entries and every later one
// unrecorded, says so to whoever waits for them, and the run still finishes
// with the entries recorded before it.
TEST(RunJournalTest, EntriesWrittenAheadAreGivenOnceOnDiskAndNoneAfterAFailedCommit)
{
    constexpr std::size_t kEntries = 400;
    struct Case {
        std::optional<std::size_t> refused;
        std::size_t recorded;
    };
    for (const Case& c : {Case{std::nullopt, kEntries}, Case{100, 64}}) {
        SCOPED_TRACE(c.refused ? "an entry refused" : "every entry sound");
        TempDir dir;
        std::string hostPath = dir.file("kv.mdb");
        makeHostDatabase(hostPath, {{"A1", 1.0, 2.0}});
        Result<Database> host = Database::open(hostPath);
        ASSERT_TRUE(host.ok()) << host.error();
        std::vector<ProductEntry> entries;
        for (std::size_t i = 0; i < kEntries; ++i)
            entries.push_back(
                {static_cast<std::int64_t>(i + 1), "C" + std::to_string(i), "", 1.0, 2.0, 3.0, 4.0, std::nullopt});
        if (c.refused)
            entries[*c.refused].undoesEntry = 999999;
        {
            RunJournal journal(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_1"));
            journal.openAhead(hostPath);
            ASSERT_TRUE(journal.start(*host).ok());
            for (std::size_t k = 0; k < kEntries; ++k)
                ASSERT_EQ(journal.plan(entries[k]), k);
            ASSERT_TRUE(journal.planned().ok());
            for (std::size_t k = 0; k < kEntries; ++k) {
                Result<std::int64_t> id = journal.plannedEntry(k);
                ASSERT_EQ(id.ok(), k < c.recorded) << k;
                if (!id.ok()) {
                    EXPECT_NE(id.error().find("cannot be recorded"), std::string::npos) << id.error();
                    continue;
                }
                EXPECT_EQ(*id, static_cast<std::int64_t>(k + 1));
                journal.noteSaved(*id);
            }
            ASSERT_TRUE(journal.finish().ok());
        }
        Result<RunRecordFile> record = RunRecordFile::openForReading(hostPath);
        ASSERT_TRUE(record.ok()) << record.error();
        Result<std::vector<RunSummary>> runs = record->listRuns();
        ASSERT_TRUE(runs.ok() && runs->size() == 1u);
        EXPECT_TRUE((*runs)[0].finished);
        EXPECT_EQ((*runs)[0].changed, c.recorded);
        EXPECT_EQ((*runs)[0].pending, 0u);
    }
}

TEST(RunJournalTest, AnUndoNeedsARecordedRunThatChangedProducts)
{
    TempDir dir;
    std::string hostPath = dir.file("kv.mdb");
    makeHostDatabase(hostPath, {{"A1", 1.0, 2.0}});
    Result<RunSummary> none = runToUndo(hostPath, std::nullopt);
    ASSERT_FALSE(none.ok());
    EXPECT_NE(none.error().find("none is recorded in " + hostPath + "_TarvexHistory"), std::string::npos);
    EXPECT_NE(runToUndo(hostPath, 3).error().find("There is no price update number 3"), std::string::npos);
}

} // namespace
