// Putting right a run that stopped unfinished: each pending entry is marked
// by what the host record holds now, and the run is then finished.
#include "data/RunJournal.h"

#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

TEST(RunJournalTest, PendingEntriesAreMarkedByWhatTheHostHoldsAndTheRunIsFinished)
{
    TempDir dir;
    std::string hostPath = dir.file("kv.mdb");
    // Rows 1 to 4: saved (new values), not saved (old values), changed since
    // by another program, and a record whose code now belongs to another.
    makeHostDatabase(hostPath, {{"A1", 11.0, 20.0}, {"A2", 2.0, 20.0}, {"A3", 99.0, 20.0}, {"B4", 4.0, 20.0}});
    {
        Result<RunRecordFile> record = RunRecordFile::open(hostPath);
        ASSERT_TRUE(record.ok()) << record.error();
        std::int64_t run = *record->beginRun(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_1"));
        for (std::int64_t row = 1; row <= 4; ++row) {
            std::string code = "A" + std::to_string(row);
            double old = static_cast<double>(row);
            ASSERT_TRUE(record->recordIntent(run, {row, code, "", old, 20.0, 10 + old, 20.0, std::nullopt}).ok());
        }
    }
    Result<Database> host = Database::open(hostPath);
    ASSERT_TRUE(host.ok()) << host.error();
    RunJournal journal(runInfoNow("Acme", "invupdate.mdb", "kv.mdb_Tarvex_2"));
    ASSERT_TRUE(journal.open(*host).ok());

    Result<std::vector<RecordedEntry>> entries = journal.entriesOf(1);
    ASSERT_TRUE(entries.ok()) << entries.error();
    ASSERT_EQ(entries->size(), 4u);
    EXPECT_EQ((*entries)[0].state, EntryState::Saved);
    EXPECT_EQ((*entries)[1].state, EntryState::Failed);
    EXPECT_NE((*entries)[1].reason.find("stopped before this product's save"), std::string::npos);
    EXPECT_EQ((*entries)[2].state, EntryState::Failed);
    EXPECT_NE((*entries)[2].reason.find("neither"), std::string::npos);
    EXPECT_EQ((*entries)[3].state, EntryState::Failed);
    EXPECT_NE((*entries)[3].reason.find("no longer in the host database"), std::string::npos);

    Result<RunSummary> undone = runToUndo(hostPath, std::nullopt);
    ASSERT_TRUE(undone.ok()) << undone.error();
    EXPECT_EQ(undone->number, 1);
    EXPECT_TRUE(undone->finished);
    EXPECT_EQ(undone->changed, 1u);
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
