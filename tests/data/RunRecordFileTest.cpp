// The run record over real files: where it is made and with which rights, the
// order in which a product's record reaches the disk, what a killed run
// leaves, how runs are listed and counted as undone, and what happens to a
// file at its name that is not a sound run record, a folder that cannot be
// written and a full disk.
#include "data/history/RunRecordFile.h"

#include "data/RunJournal.h"
#include "data/history/RunProducts.h"
#include "data/history/RunRecordSchema.h"
#include "support/ProcessRunner.h"
#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

RunInfo update(const std::string& vendor)
{
    return {1765190000, "SALON-PC", "reception", vendor, "/opt/tarvex/invupdate.mdb", "kv.mdb_Tarvex_12082026105651"};
}

RunInfo undoOf(std::int64_t run)
{
    RunInfo info = update("Lumen Professional");
    info.kind = RunKind::Undo;
    info.undoes = run;
    return info;
}

ProductEntry product(std::int64_t rowid, const std::string& code, std::optional<std::int64_t> undoes = {})
{
    return {rowid, code, "Product " + code, 1.0, std::nullopt, 2.5, 9.99, undoes};
}

class RunRecordFileTest : public ::testing::Test {
protected:
    void SetUp() override { makeHostDatabase(host, {{"A1", 1.0, 2.0}}); }

    RunRecordFile openRecord()
    {
        Result<RunRecordFile> record = RunRecordFile::open(host);
        EXPECT_TRUE(record.ok()) << record.error();
        return std::move(*record);
    }

    // Records a finished run whose entries end as given, and returns its
    // number and the ids of its entries.
    std::int64_t finishedRun(RunRecordFile& record, const RunInfo& info, const std::vector<ProductEntry>& products,
                             const std::vector<EntryState>& ends, std::vector<std::int64_t>* ids = nullptr)
    {
        std::int64_t run = *record.beginRun(info);
        for (std::size_t i = 0; i < products.size(); ++i) {
            Result<std::int64_t> entry = record.recordIntent(run, products[i]);
            EXPECT_TRUE(entry.ok()) << entry.error();
            EXPECT_TRUE(ends[i] == EntryState::Failed ? record.markFailed(*entry, "locked").ok()
                                                      : record.markDone(*entry, ends[i]).ok());
            if (ids)
                ids->push_back(*entry);
        }
        EXPECT_TRUE(record.finishRun(run).ok());
        return run;
    }

    TempDir dir;
    std::string host = dir.file("kv.mdb");
    std::string recordPath = host + "_TarvexHistory";
};

// Creation

TEST_F(RunRecordFileTest, IsMadeBesideTheHostWithItsPermissionsAndOwnerUnderANameNoBackupTakes)
{
    ASSERT_EQ(::chmod(host.c_str(), 0640), 0);
    bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(host.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(RunRecordFile::pathFor(host), recordPath);
    openRecord();

    struct stat info {};
    ASSERT_EQ(::stat(recordPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"kv.mdb", "kv.mdb_TarvexHistory"}));
    // Backups are the host's name, "_Tarvex_" and a time stamp.
    EXPECT_FALSE(contains(recordPath, host + "_Tarvex_"));
    EXPECT_EQ(integrityCheck(recordPath), "ok");

    // Opened again, it is the same file, runs kept.
    {
        RunRecordFile record = openRecord();
        ASSERT_TRUE(record.beginRun(update("Lumen Professional")).ok());
    }
    EXPECT_EQ(openRecord().listRuns()->size(), 1u);
}

// Durability order

TEST_F(RunRecordFileTest, AProductsRecordIsReadableByAnotherConnectionBeforeItIsMarkedDone)
{
    RunRecordFile record = openRecord();
    std::int64_t run = *record.beginRun(update("Lumen Professional"));
    // A code holding a NUL byte is read back whole.
    const std::string code("LP-1\0X", 6);
    ProductEntry entry{std::string("ACC-7/2"), code, "Shampoo", std::nullopt, 3.5, 2.25, 7.0};
    Result<std::int64_t> id = record.recordIntent(run, entry);
    ASSERT_TRUE(id.ok()) << id.error();

    Result<RunRecordFile> reader = RunRecordFile::openForReading(host);
    ASSERT_TRUE(reader.ok()) << reader.error();
    std::vector<RecordedEntry> seen = *reader->entriesOf(run);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].state, EntryState::Pending);
    // A text key stays text, and an empty value stays empty.
    EXPECT_EQ(seen[0].product.record, HostRecordId(std::string("ACC-7/2")));
    EXPECT_EQ(seen[0].product.code, code);
    EXPECT_FALSE(seen[0].product.costBefore.has_value());
    EXPECT_EQ(seen[0].product.priceBefore, 3.5);
    EXPECT_EQ(seen[0].product.costAfter, 2.25);

    ASSERT_TRUE(record.markDone(*id, EntryState::Saved).ok());
    EXPECT_EQ((*reader->entriesOf(run))[0].state, EntryState::Saved);
}

// A run's planned entries go many to a statement, and the saved marks of
// entries that follow one another in one: each id returned is its own
// entry's, each mark lands on its entry, and a range that holds an entry
// marked before is refused whole.
TEST_F(RunRecordFileTest, EntriesWrittenManyAtOnceKeepTheirOwnIdsAndMarks)
{
    RunRecordFile record = openRecord();
    // An earlier run, so that this run's ids do not start at 1.
    finishedRun(record, update("Lumen Professional"), {product(1, "A1")}, {EntryState::Saved});
    // A batch as a run's first commit makes it, and one large enough to be
    // written with the longer statements.
    for (int entryCount : {150, 2100}) {
        SCOPED_TRACE(entryCount);
        const auto count = static_cast<std::size_t>(entryCount);
        RecordBatch first;
        for (int i = 0; i < entryCount; ++i)
            first.intents.push_back(product(i, "P" + std::to_string(i)));
        Result<RunRecordFile::BegunRun> begun = record.beginRun(update("Lumen Professional"), first);
        ASSERT_TRUE(begun.ok()) << begun.error();
        ASSERT_EQ(begun->ids.size(), count);

        const std::int64_t run = begun->number;
        const std::vector<std::int64_t>& ids = begun->ids;
        ASSERT_TRUE(record.markDone(ids[100], EntryState::Saved).ok());
        RecordBatch overlapping;
        for (int i = 99; i <= 101; ++i)
            overlapping.marks.push_back({ids[static_cast<std::size_t>(i)], EntryState::Saved, {}});
        EXPECT_FALSE(record.writeBatch(run, overlapping).ok());

        RecordBatch last;
        for (int i = 0; i < entryCount; ++i)
            if (i != 100)
                last.marks.push_back({ids[static_cast<std::size_t>(i)], i == 70 ? EntryState::Failed : EntryState::Saved,
                                      i == 70 ? "changed by another program" : ""});
        ASSERT_TRUE(record.finishRun(run, last).ok());
        std::vector<RecordedEntry> entries = *record.entriesOf(run);
        ASSERT_EQ(entries.size(), count);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(entries[i].id, ids[i]);
            EXPECT_EQ(entries[i].product.code, "P" + std::to_string(i));
            EXPECT_EQ(entries[i].state, i == 70 ? EntryState::Failed : EntryState::Saved);
        }
    }
}

TEST_F(RunRecordFileTest, AKillBetweenTheRecordAndTheMarkLeavesThePendingEntryInASoundFile)
{
    openRecord();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) {
        Result<RunRecordFile> record = RunRecordFile::open(host);
        std::int64_t run = *record->beginRun(update("Lumen Professional"));
        if (!record->markDone(*record->recordIntent(run, product(1, "A1")), EntryState::Saved).ok() ||
            !record->recordIntent(run, product(2, "B2")).ok())
            ::_exit(1);
        char byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    EXPECT_EQ(integrityCheck(recordPath), "ok");
    RunRecordFile record = openRecord();
    EXPECT_EQ(*record.runsToReconcile(), std::vector<std::int64_t>{1});
    std::vector<RecordedEntry> entries = *record.entriesOf(1);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].state, EntryState::Saved);
    EXPECT_EQ(entries[1].state, EntryState::Pending);
    RunSummary run = (*record.listRuns())[0];
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.changed, 1u);
    EXPECT_EQ(run.pending, 1u);

    // Not undone, or finished, before it is reconciled.
    EXPECT_FALSE(record.beginRun(undoOf(1)).ok());
    EXPECT_FALSE(record.finishRun(1).ok());
    ASSERT_TRUE(record.markFailed(entries[1].id, "the run stopped before it was saved").ok());
    ASSERT_TRUE(record.finishRun(1).ok());
    EXPECT_EQ(*record.runsToReconcile(), std::vector<std::int64_t>{});
    EXPECT_EQ((*record.entriesOf(1))[1].reason, "the run stopped before it was saved");
}

// A run still held (here by another object in this process, as another
// process holds it) is never taken for one that stopped; once its holder is
// gone it is, and then by one object at a time.
TEST_F(RunRecordFileTest, ARunStillHeldIsNotReconciledAndAStoppedOneIsReconciledByOneRunAtATime)
{
    std::optional<RunRecordFile> first(openRecord());
    std::int64_t run = *first->beginRun(update("Lumen Professional"));
    ASSERT_TRUE(first->recordIntent(run, product(1, "A1")).ok());
    RunRecordFile second = openRecord();
    EXPECT_EQ(*second.runsToReconcile(), std::vector<std::int64_t>{});
    EXPECT_TRUE((*RunRecordFile::openForReading(host)->listRuns())[0].running);
    // Nor is a run its own object began.
    EXPECT_EQ(*first->runsToReconcile(), std::vector<std::int64_t>{});

    first.reset();
    EXPECT_FALSE((*RunRecordFile::openForReading(host)->listRuns())[0].running);
    EXPECT_EQ(*second.runsToReconcile(), std::vector<std::int64_t>{run});
    RunRecordFile third = openRecord();
    EXPECT_EQ(*third.runsToReconcile(), std::vector<std::int64_t>{});
    // A run begun meanwhile takes the next number, and is held.
    std::int64_t next = *third.beginRun(update("Acme Salon Supply"));
    EXPECT_EQ(next, run + 1);
    EXPECT_EQ(*second.runsToReconcile(), std::vector<std::int64_t>{run});
    ASSERT_TRUE(second.markFailed((*second.entriesOf(run))[0].id, "the run stopped before it was saved").ok());
    ASSERT_TRUE(second.finishRun(run).ok());
    ASSERT_TRUE(third.finishRun(next).ok());
    EXPECT_EQ(*openRecord().runsToReconcile(), std::vector<std::int64_t>{});
}

TEST_F(RunRecordFileTest, AWriteCutShortByAKillIsPutRightByTheNextRunAndOnlyReportedByAReader)
{
    std::int64_t run = *openRecord().beginRun(update("Lumen Professional"));
    pid_t child = ::fork();
    if (child == 0) {
        // A write larger than the page cache spills into the file before its
        // commit, so the kill leaves the file half-written with its journal.
        sqlite3* db = nullptr;
        sqlite3_open_v2(recordPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db,
                     "PRAGMA cache_size = 1; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                     "WHERE i < 500) INSERT INTO entry (run, host_record, code, name) SELECT 1, i, 'P' || i, "
                     "zeroblob(1000) FROM n;",
                     nullptr, nullptr, nullptr);
        ::kill(::getpid(), SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(fs::exists(recordPath + "-journal"));
    std::string bytes = readFile(recordPath);

    Result<RunRecordFile> reader = RunRecordFile::openForReading(host);
    ASSERT_FALSE(reader.ok());
    EXPECT_TRUE(contains(reader.error(), recordPath) && contains(reader.error(), "the next run on this host"))
        << reader.error();
    EXPECT_EQ(readFile(recordPath), bytes);

    EXPECT_EQ(openRecord().entriesOf(run)->size(), 0u);
    EXPECT_FALSE(fs::exists(recordPath + "-journal"));
    EXPECT_EQ(integrityCheck(recordPath), "ok");
    EXPECT_TRUE(RunRecordFile::openForReading(host).ok());
}

// Listing and undoing

TEST_F(RunRecordFileTest, RunsAreListedNewestFirstWithWhatTheyChangedAndWhetherTheyWereUndone)
{
    RunRecordFile record = openRecord();
    std::vector<std::int64_t> first, second, undoFirst;
    finishedRun(record, update("Lumen Professional"), {product(1, "A1"), product(2, "B2"), product(3, "C3")},
                {EntryState::Saved, EntryState::Saved, EntryState::Unchanged}, &first);
    finishedRun(record, update("Acme Salon Supply"), {product(4, "D4"), product(5, "E5")},
                {EntryState::Saved, EntryState::Failed}, &second);
    // Run 3 puts back only one of run 1's products (the other changed since).
    finishedRun(record, undoOf(1), {product(1, "A1", first[0])}, {EntryState::Saved}, &undoFirst);
    // Run 4 puts back run 2's product, which was found already back.
    finishedRun(record, undoOf(2), {product(4, "D4", second[0])}, {EntryState::Unchanged});
    // Run 5, an undo of run 3, stopped before it finished: it counts for nothing.
    std::int64_t stopped = *record.beginRun(undoOf(3));
    ASSERT_TRUE(record.recordIntent(stopped, product(1, "A1", undoFirst[0])).ok());

    std::vector<RunSummary> runs = *record.listRuns();
    ASSERT_EQ(runs.size(), 5u);
    struct Expected {
        std::int64_t number;
        std::size_t changed;
        bool finished;
        UndoState undone;
    };
    std::vector<Expected> expected = {{5, 0, false, UndoState::NotUndone},
                                      {4, 0, true, UndoState::NotUndone},
                                      {3, 1, true, UndoState::NotUndone},
                                      {2, 1, true, UndoState::Undone},
                                      {1, 2, true, UndoState::PartlyUndone}};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(runs[i].number, expected[i].number);
        EXPECT_EQ(runs[i].changed, expected[i].changed);
        EXPECT_EQ(runs[i].finished, expected[i].finished);
        EXPECT_EQ(runs[i].undone, expected[i].undone);
    }
    EXPECT_EQ(runs[4].info.vendor, "Lumen Professional");
    EXPECT_EQ(runs[4].info.backupFileName, "kv.mdb_Tarvex_12082026105651");
    EXPECT_EQ(runs[4].info.when, 1765190000);
    EXPECT_EQ(runs[3].info.kind, RunKind::Update);
    EXPECT_EQ(runs[2].info.undoes, 1);
    // The newest finished run that changed something and is not undone.
    EXPECT_EQ(latestRunToUndo(runs), 3);

    // Undoing run 1 again by its number puts back the rest: it is now undone.
    finishedRun(record, undoOf(1), {product(2, "B2", first[1])}, {EntryState::Saved});
    runs = *record.listRuns();
    EXPECT_EQ(runs.back().undone, UndoState::Undone);
    EXPECT_EQ(latestRunToUndo(runs), 6);
}

// An undo whose own undo found every product already back saved nothing,
// yet it brought run 1's values back: the history shows run 1 as not undone,
// and a plain undo takes it.
TEST_F(RunRecordFileTest, APlainUndoTakesTheRunTheHistoryShowsAsNotUndone)
{
    RunRecordFile record = openRecord();
    std::vector<std::int64_t> first, undoFirst;
    finishedRun(record, update("Lumen Professional"), {product(1, "A1")}, {EntryState::Saved}, &first);
    finishedRun(record, undoOf(1), {product(1, "A1", first[0])}, {EntryState::Saved}, &undoFirst);
    finishedRun(record, undoOf(2), {product(1, "A1", undoFirst[0])}, {EntryState::Unchanged});

    std::vector<RunSummary> shown = *runsAsShown(record);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2].undone, UndoState::NotUndone);
    Result<RunSummary> plain = runToUndo(host, std::nullopt);
    ASSERT_TRUE(plain.ok()) << plain.error();
    EXPECT_EQ(plain->number, 1);
}

TEST_F(RunRecordFileTest, RecordsThatWouldMisleadAreRefused)
{
    RunRecordFile record = openRecord();
    std::vector<std::int64_t> ids;
    std::int64_t done =
        finishedRun(record, update("Lumen Professional"), {product(1, "A1")}, {EntryState::Saved}, &ids);
    std::int64_t open = *record.beginRun(update("Lumen Professional"));
    std::int64_t undo = *record.beginRun(undoOf(done));
    std::int64_t entry = *record.recordIntent(open, product(2, "B2"));

    RunInfo updateNamingARun = update("Lumen Professional");
    updateNamingARun.undoes = done;
    EXPECT_FALSE(record.beginRun(updateNamingARun).ok());
    Result<std::int64_t> missing = record.beginRun(undoOf(99));
    EXPECT_TRUE(contains(missing.error(), recordPath) && contains(missing.error(), "no run 99")) << missing.error();
    // Products of a finished run, of no run, an undo entry in an update run,
    // an undo naming an entry of another run or none.
    EXPECT_FALSE(record.recordIntent(done, product(2, "B2")).ok());
    EXPECT_FALSE(record.recordIntent(99, product(2, "B2")).ok());
    EXPECT_FALSE(record.recordIntent(open, product(2, "B2", ids[0])).ok());
    EXPECT_FALSE(record.recordIntent(undo, product(2, "B2", entry)).ok());
    EXPECT_FALSE(record.recordIntent(undo, product(1, "A1")).ok());
    EXPECT_TRUE(record.recordIntent(undo, product(1, "A1", ids[0])).ok());
    // Marked once only, and done only as saved or unchanged.
    EXPECT_FALSE(record.markDone(entry, EntryState::Pending).ok());
    EXPECT_TRUE(record.markDone(entry, EntryState::Saved).ok());
    EXPECT_FALSE(record.markFailed(entry, "late").ok());
    EXPECT_FALSE(record.markDone(ids[0], EntryState::Saved).ok());
    EXPECT_FALSE(record.finishRun(done).ok());
    // A batch is written whole or not at all: its sound entry goes with the
    // mark that is refused.
    RecordBatch batch;
    batch.marks.push_back({entry, EntryState::Saved, {}});
    batch.intents.push_back(product(3, "C3"));
    EXPECT_FALSE(record.writeBatch(open, batch).ok());
    // So is a run's end with its last marks, and a run's start with its
    // first entries: an undo entry in an update run leaves no run.
    EXPECT_FALSE(record.finishRun(open, batch).ok());
    RecordBatch misleading;
    misleading.intents = {product(4, "D4"), product(5, "E5", ids[0])};
    EXPECT_FALSE(record.beginRun(update("Lumen Professional"), misleading).ok());
    // Nothing of the refused calls is in the file.
    EXPECT_EQ(record.entriesOf(open)->size(), 1u);
    EXPECT_EQ(record.entriesOf(undo)->size(), 1u);
    EXPECT_EQ(record.listRuns()->size(), 3u);
    Result<std::vector<RunSummary>> runs = record.listRuns();
    for (const RunSummary& run : *runs)
        EXPECT_EQ(run.finished, run.number == done) << run.number;
}

// Files at the record's name that are not sound run records

struct BadRecord {
    std::string name;
    std::function<void(const std::string& path)> make;
    std::string says;
    // A journal left beside the file, when not empty: it goes with the file,
    // or SQLite would play it into the new record.
    std::string journal;
    // Whether a reader, which checks nothing, still lists its runs.
    bool listed = false;
};

TEST_F(RunRecordFileTest, AFileThatIsNotASoundRunRecordIsMovedAsideUnchangedAndANewOneMadeNextTime)
{
    // A check made while the file was sound spares nothing once it changed.
    std::optional<RunRecordCheck> checked;
    std::vector<BadRecord> cases = {
        {"garbage bytes", [](const std::string& path) { std::ofstream(path) << std::string(5000, 'x'); },
         "not an SQLite database"},
        {"an empty file", [](const std::string& path) { std::ofstream{path}; }, "not an SQLite database"},
        {"another program's SQLite file",
         [](const std::string& path) {
             makeHostDatabase(path, {{"A1", 1.0, 2.0}});
         },
         "another program", "the other program's journal"},
        {"a run record with damaged pages",
         [this, &checked](const std::string& path) {
             {
                 RunRecordFile record = openRecord();
                 std::int64_t run = *record.beginRun(update("Lumen Professional"));
                 for (int i = 0; i < 3; ++i)
                     EXPECT_TRUE(record.recordIntent(run, product(i, "P" + std::to_string(i))).ok());
             }
             checked = RunRecordFile::checkForReading(host);
             EXPECT_TRUE(checked.has_value());
             // Every page after the first (which holds the header) overwritten.
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(4096);
             file << std::string(4 * 4096, '\xff');
         },
         "is damaged"},
        {"a run record whose entry holds a state its schema does not allow",
         [this](const std::string& path) {
             {
                 RunRecordFile record = openRecord();
                 std::int64_t run = *record.beginRun(update("Lumen Professional"));
                 EXPECT_TRUE(record.recordIntent(run, product(0, "P0")).ok());
             }
             execSql(path, "PRAGMA ignore_check_constraints = ON; UPDATE entry SET state = 'half-saved'");
         },
         "CHECK constraint failed in entry", "", true},
    };
    for (const BadRecord& bad : cases) {
        SCOPED_TRACE(bad.name);
        fs::remove(recordPath);
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (contains(entry.path().filename().string(), ".damaged-"))
                fs::remove(entry.path());
        checked.reset();
        bad.make(recordPath);
        if (!bad.journal.empty())
            dir.write("kv.mdb_TarvexHistory-journal", bad.journal);
        std::string bytes = readFile(recordPath);

        // Reading it changes and moves nothing.
        Result<RunRecordFile> reader = RunRecordFile::openForReading(host);
        if (reader.ok())
            EXPECT_EQ(reader->listRuns().ok(), bad.listed);
        else
            EXPECT_TRUE(contains(reader.error(), recordPath)) << reader.error();
        EXPECT_EQ(readFile(recordPath), bytes);

        Result<RunRecordFile> refused = RunRecordFile::open(host, checked);
        ASSERT_FALSE(refused.ok());
        EXPECT_TRUE(contains(refused.error(), recordPath) && contains(refused.error(), bad.says) &&
                    contains(refused.error(), "moved aside"))
            << refused.error();
        EXPECT_FALSE(fs::exists(recordPath));
        std::vector<std::string> aside;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (contains(entry.path().filename().string(), "_TarvexHistory.damaged-") &&
                !entry.path().string().ends_with("-journal"))
                aside.push_back(entry.path().string());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_TRUE(contains(refused.error(), aside[0])) << refused.error();
        EXPECT_FALSE(fs::exists(recordPath + "-journal"));
        if (!bad.journal.empty()) {
            EXPECT_EQ(readFile(aside[0] + "-journal"), bad.journal);
        }
        EXPECT_EQ(readFile(aside[0]), bytes);

        // The next open starts a new record.
        RunRecordFile fresh = openRecord();
        EXPECT_EQ(fresh.listRuns()->size(), 0u);
    }
}

TEST_F(RunRecordFileTest, ARecordOfANewerVersionIsRefusedAndLeftAsItIs)
{
    openRecord();
    execSql(recordPath, "PRAGMA user_version = " + std::to_string(schema::kRunRecordVersion + 1));
    std::string bytes = readFile(recordPath);
    Result<RunRecordFile> refused = RunRecordFile::open(host);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(contains(refused.error(), recordPath) && contains(refused.error(), "newer version")) << refused.error();
    EXPECT_EQ(readFile(recordPath), bytes);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"kv.mdb", "kv.mdb_TarvexHistory"}));
}

// Folders that cannot be written, a full disk

TEST_F(RunRecordFileTest, AFolderOrRecordThatCannotBeWrittenGivesAClearFailureAndCreatesNothing)
{
    // Open to the plain user the child becomes, but not writable.
    fs::permissions(host, fs::perms::all);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    auto openError = [&] {
        return runInChild(
            [&] {
                Result<RunRecordFile> record = RunRecordFile::open(host);
                return record.ok() ? std::string("opened") : record.error();
            },
            true);
    };
    std::string error = openError();
    EXPECT_TRUE(contains(error, recordPath) && contains(error, "Permission denied")) << error;
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"kv.mdb"});

    // A record already there, writable, in that folder: its journal could
    // not be made.
    fs::permissions(dir.path(), fs::perms::all);
    openRecord();
    fs::permissions(recordPath, fs::perms::all);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    error = openError();
    EXPECT_TRUE(contains(error, recordPath) && contains(error, "cannot be written")) << error;
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"kv.mdb", "kv.mdb_TarvexHistory"}));

    // The record itself read-only, in a folder that can be written.
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(recordPath, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    error = openError();
    EXPECT_TRUE(contains(error, recordPath) && contains(error, "only be opened for reading")) << error;
}

TEST_F(RunRecordFileTest, AFullDiskFailsTheRecordOfAProductAndLeavesTheFileSound)
{
    std::int64_t run = *openRecord().beginRun(update("Lumen Professional"));
    std::string error = runInChild([&] {
        Result<RunRecordFile> record = RunRecordFile::open(host);
        if (!record)
            return record.error();
        // No file may grow past 64 KiB: the record meets the limit as it
        // would meet a full disk.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{65536, 65536};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ProductEntry large = product(1, "A1");
        large.name = std::string(100000, 'n');
        Result<std::int64_t> entry = record->recordIntent(run, large);
        return entry.ok() ? std::string("recorded") : entry.error();
    });
    EXPECT_TRUE(contains(error, recordPath) && contains(error, "File too large")) << error;
    EXPECT_EQ(integrityCheck(recordPath), "ok");
    EXPECT_EQ(openRecord().entriesOf(run)->size(), 0u);
}

} // namespace
