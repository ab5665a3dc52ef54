// RunJournal: the host's run record as a run that writes sees it. The record
// is opened when the chosen rows are applied and not before (an undo opens it
// to list the run it undoes), so a run that applies nothing leaves no record;
// the runs a crash left unfinished are put right against the host then. Every
// product is recorded before its save; how its save ended is held and written
// with others (a batch about once a second, and at the end), and a mark lost
// with a crash is found again from the host by reconcileRuns. The record's
// opening and a run's planned entries past the first few are written on a
// thread of the journal's own while the caller goes on (checkAhead,
// openAhead, plan); only one thread touches the record at a time.
#pragma once

#include "platform/Database.h"
#include "data/history/RunRecordFile.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tarvex {

class RunJournal {
public:
    // The entries planned that the plan's first commit holds (fewer when
    // fewer are planned).
    static constexpr std::size_t kFirstCommitEntries = 64;

    // info: what is known of the run (when, where, the vendor, the files).
    explicit RunJournal(RunInfo info);
    // Waits for the journal's own thread to end its work.
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Opens the record of host (creating it, see RunRecordFile::open) and puts
    // right the runs left unfinished (reconcileRuns), once; an undo does so
    // before its list is built, as it lists what the record holds.
    Status open(Database& host);
    // Begins open()'s work on a thread of the journal's own, all but putting
    // right the runs left unfinished (that needs host, and is done by
    // open()), while the caller goes on: deciding what to record, say. The
    // next call of any other kind waits for it. Nothing when already open.
    void openAhead(const std::string& hostPath);
    // Checks the host's record, only reading it (RunRecordFile::
    // checkForReading), on the journal's own thread while the caller goes
    // on (the review): open() then spares the check when the file is still
    // as it was checked. Nothing when already open.
    void checkAhead(const std::string& hostPath);
    // Opens the record when not yet open, for this run to be recorded: its
    // start is written with its first products (plan), in one commit, begun
    // here when they were planned before. When it fails nothing may be
    // written to host: the text names the record file and why (a damaged
    // file has been moved aside).
    Status start(Database& host);
    // The entries of a run of the opened record.
    Result<std::vector<RecordedEntry>> entriesOf(std::int64_t run);
    bool started() const { return m_started; }
    // Waits until the journal's own thread is done: the record is then the
    // caller's alone (a check begun by checkAhead is over, say).
    void settleAhead();
    // The record's path; empty before start().
    std::string path() const { return m_record ? m_record->path() : std::string(); }

    // Records a product about to be saved, one by one as the run is planned
    // (before start(), too), and returns its place among them. The first
    // kFirstCommitEntries go, with the run's start when this is its first
    // write, in one commit that the journal's own thread begins as soon as
    // they are given and the journal is started, while the caller decides
    // the others; planned() hands those over, and the thread writes them in
    // commits sixteen times larger each while the caller saves the first
    // ones. The record is not touched otherwise until the thread is done:
    // every other call that writes or reads it waits for it first.
    std::size_t plan(ProductEntry entry);
    // Ends the plan: waits for the first commit. Fails, with nothing
    // recorded, when it failed: save none of the products then.
    Status planned();
    // The id of the k-th entry planned, on disk when it returns (it waits
    // for the commit that holds it). Fails when that commit failed: the
    // product is not recorded, so save nothing more.
    Result<std::int64_t> plannedEntry(std::size_t k);

    // Records that one more product is about to be saved, in one commit with
    // the marks held: on disk when it returns. Save nothing when it fails.
    Result<std::int64_t> recordIntent(const ProductEntry& entry);

    // How an entry's save ended, held until writeMarks(): a mark lost with a
    // crash leaves the entry pending, and the host tells how it ended.
    void noteSaved(std::int64_t entry) { m_held.marks.push_back({entry, EntryState::Saved, {}}); }
    void noteFailed(std::int64_t entry, std::string reason)
    {
        m_held.marks.push_back({entry, EntryState::Failed, std::move(reason)});
    }
    // An entry recorded as already ended unchanged, held as the marks are.
    void noteUnchanged(ProductEntry entry) { m_held.unchanged.push_back(std::move(entry)); }
    // Whether marks are held (or more are about to be) and the last commit
    // was markInterval ago or more.
    bool marksDue(std::size_t more = 0) const;
    // Writes the marks held, in one commit. They stay held when it fails.
    Status writeMarks();
    // How long marks may be held (a second): a test sets zero, so that
    // every save's mark is written before the next save.
    void setMarkInterval(std::chrono::milliseconds interval) { m_markInterval = interval; }
    // Writes the marks held and records the end of the run, in one commit.
    // Does nothing before the run's first write. A run whose marks cannot be
    // written stays unfinished.
    Status finish();

private:
    // The thread writing entries ahead, and what it has written so far.
    struct Ahead {
        std::thread thread;
        std::mutex mutex;
        std::condition_variable written;
        // The ids of the entries on disk, in order.
        std::vector<std::int64_t> ids;
        // The entries planned after the first commit's, once all are.
        std::optional<std::vector<ProductEntry>> rest;
        // Why the last commit failed; empty while none did.
        std::optional<std::string> failure;
        bool firstDone = false;
        bool done = true;
    };
    // Runs work on the journal's own thread, which must be idle.
    void onThread(std::function<void()> work);
    // Hands the entries planned so far to the journal's thread, for the
    // plan's first commit.
    void beginAhead();
    // The thread's work: writes first in one commit, then the rest once
    // given, in commits of growing size, and says what it wrote in m_ahead.
    void writeAhead(std::vector<ProductEntry> first);

    // Writes batch with the marks held, in one commit.
    Result<std::vector<std::int64_t>> write(RecordBatch batch);

    RunInfo m_info;
    std::optional<RunRecordFile> m_record;
    // What checkAhead found, for open.
    std::optional<RunRecordCheck> m_checked;
    // The record opened by openAhead, before its runs are put right.
    std::optional<Result<RunRecordFile>> m_opened;
    // start() succeeded; the run itself is begun by its first write.
    bool m_started = false;
    std::optional<std::int64_t> m_run;
    RecordBatch m_held;
    std::chrono::milliseconds m_markInterval{1000};
    std::chrono::steady_clock::time_point m_lastCommit;
    Ahead m_ahead;
    // The entries planned and not yet handed to the thread; how many were
    // handed before them; whether the plan's first commit is begun.
    std::vector<ProductEntry> m_planning;
    std::size_t m_planGiven = 0;
    bool m_planStarted = false;
};

// A run's start as the user sees it: "YYYY-MM-DD HH:MM", local time.
std::string runTimeText(std::time_t when);

// The run an undo of hostPath takes: run number when given, else the latest
// one not undone as the history shows it (runsAsShown, latestRunToUndo).
// Reads the record only. Fails with the text to show: the record cannot be
// read, or there is no such run.
Result<RunSummary> runToUndo(const std::string& hostPath, std::optional<std::int64_t> number);

// What is known of a run as it starts: now, this computer and user.
RunInfo runInfoNow(std::string vendor, std::string updateDatabasePath, std::string backupPath);

// Compares each pending entry of the record's runs that stopped unfinished
// (runsToReconcile: a run still running is left alone) with what host holds
// now, read again under host.holdWrites(): a host record that holds the
// entry's values after was saved; one that holds its values before, or is
// gone, was not; one that holds neither is marked failed with that said, so
// that no undo puts it back unseen. The marks of a run go in one commit,
// and the run is then finished. Fails
// when the host cannot be held (another program writes it: Busy).
Status reconcileRuns(RunRecordFile& record, Database& host);

} // namespace tarvex
