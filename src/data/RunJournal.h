// RunJournal: the host's run record as a run that writes sees it. The record
// is opened when the chosen rows are applied and not before (an undo opens it
// to list the run it undoes), so a run that applies nothing leaves no record;
// the runs a crash left unfinished are put right against the host then. Every product is recorded before its
// save and marked after it, so the record and the host always agree.
#pragma once

#include "platform/Database.h"
#include "data/history/RunRecordFile.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

class RunJournal {
public:
    // info: what is known of the run (when, where, the vendor, the files).
    explicit RunJournal(RunInfo info);

    // Opens the record of host (creating it, see RunRecordFile::open) and puts
    // right the runs left unfinished (reconcileRuns), once; an undo does so
    // before its list is built, as it lists what the record holds.
    Status open(Database& host);
    // Opens the record when not yet open, and records the start of this run.
    // When it fails nothing may be written to host: the text names the
    // record file and why (a damaged file has been moved aside).
    Status start(Database& host);
    // The entries of a run of the opened record.
    Result<std::vector<RecordedEntry>> entriesOf(std::int64_t run) { return m_record->entriesOf(run); }
    bool started() const { return m_run.has_value(); }
    // The record's path; empty before start().
    std::string path() const { return m_record ? m_record->path() : std::string(); }

    // Records that a product is about to be saved; on disk when it returns.
    // Save nothing when it fails.
    Result<std::int64_t> recordIntent(const ProductEntry& entry);
    Status markSaved(std::int64_t entry) { return m_record->markDone(entry, EntryState::Saved); }
    Status markUnchanged(std::int64_t entry) { return m_record->markDone(entry, EntryState::Unchanged); }
    Status markFailed(std::int64_t entry, const std::string& reason) { return m_record->markFailed(entry, reason); }
    // Records the end of the run. Does nothing before start().
    Status finish();

private:
    RunInfo m_info;
    std::optional<RunRecordFile> m_record;
    std::optional<std::int64_t> m_run;
};

// A run's start as the user sees it: "YYYY-MM-DD HH:MM", local time.
std::string runTimeText(std::time_t when);

// The run an undo of hostPath takes: run number when given, else the latest
// one not undone (latestRunToUndo). Reads the record only. Fails with the
// text to show: the record cannot be read, or there is no such run.
Result<RunSummary> runToUndo(const std::string& hostPath, std::optional<std::int64_t> number);

// What is known of a run as it starts: now, this computer and user.
RunInfo runInfoNow(std::string vendor, std::string updateDatabasePath, std::string backupPath);

// Compares each pending entry of the record's runs that stopped unfinished
// (runsToReconcile: a run still running is left alone) with what host holds
// now, read again under host.holdWrites(): a host record that holds the
// entry's values after was saved; one that holds its values before, or is
// gone, was not; one that holds neither is marked failed with that said, so
// that no undo puts it back unseen. Each such run is then finished. Fails
// when the host cannot be held (another program writes it: Busy).
Status reconcileRuns(RunRecordFile& record, Database& host);

} // namespace tarvex
