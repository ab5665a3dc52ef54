// RunRecordFile: the record Tarvex keeps, beside a host database, of every run
// that writes to it: when, where, by whom, with which price list and backup,
// and for each product the values before and after and how its save ended.
// It is what lets a run be listed and undone later.
//
// One file serves every run on one host (pathFor()). It is an SQLite file
// made by this class only: created whole under a temporary name and then
// named without replacing anything, with the host's permission bits and, when
// the process may set them, its owner and group. Every call that writes is
// one transaction, on disk when the call returns (rollback journal beside the
// file, synchronous = EXTRA): the record of a product is there before the
// product is saved, so a crash never leaves a host change without its record.
//
// A file at that name that is not a sound run record (not SQLite, another
// program's file, failing SQLite's integrity check) is never written to and
// never overwritten: open() moves it aside under a new name and fails, saying
// so, and the next open() makes a new file. A file made by a newer Tarvex is
// refused and left where it is.
//
// A run is alive while the object that began it holds it: an
// open-file-description write lock on one byte of the file, far past anything
// SQLite stores or locks there (kRunLockBase plus the run's number), which the
// system drops however the process ends. An unfinished run whose lock is free
// stopped without finishing; one whose lock is held is still running, maybe
// waiting for a lock of the host, and is never put right by another run.
#pragma once

#include "platform/Result.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;

namespace tarvex {

// How the writer of a host finds one record again: the SQLite row id, or a
// text key (an Access record's primary key, written as its writer likes).
using HostRecordId = std::variant<std::int64_t, std::string>;

enum class RunKind { Update, Undo };

// What is known of a run when it starts.
struct RunInfo {
    std::time_t when = 0;
    std::string computer;
    std::string user;
    std::string vendor;
    std::string updateDatabasePath;
    std::string backupFileName;
    RunKind kind = RunKind::Update;
    // For an undo run, the number of the run it undoes; empty otherwise.
    std::optional<std::int64_t> undoes;
};

// One product a run is about to write. Empty values are empty fields of the
// host record, kept as such so that an undo puts back exactly what was there.
struct ProductEntry {
    HostRecordId record;
    std::string code;
    std::string name;
    std::optional<double> costBefore;
    std::optional<double> priceBefore;
    std::optional<double> costAfter;
    std::optional<double> priceAfter;
    // For an undo run, the entry of the undone run whose values this puts back.
    std::optional<std::int64_t> undoesEntry;
};

// How a product's save ended. Pending: recorded, never marked, so the run
// stopped before or during its save; the host record tells which.
enum class EntryState { Pending, Saved, Unchanged, Failed };

// Writes to a run record that go together in one transaction (writeBatch).
struct RecordBatch {
    // A pending entry that ended: Saved, Unchanged, or Failed with a reason.
    struct Mark {
        std::int64_t entry = 0;
        EntryState state = EntryState::Saved;
        std::string reason;
    };
    // Pending entries that ended, marked first.
    std::vector<Mark> marks;
    // Entries recorded as already ended unchanged (an undo's earlier entries
    // of a host record put back by one save).
    std::vector<ProductEntry> unchanged;
    // Entries recorded pending: products about to be saved.
    std::vector<ProductEntry> intents;

    bool empty() const { return marks.empty() && unchanged.empty() && intents.empty(); }
};

// A run record as a whole check found it sound: the file's identity, size,
// times and SQLite's change counter then. open() spares the same check of a
// file that is still exactly so.
struct RunRecordCheck {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    std::uint32_t changeCounter = 0;

    bool operator==(const RunRecordCheck&) const = default;
};

struct RecordedEntry {
    std::int64_t id = 0;
    std::int64_t run = 0;
    ProductEntry product;
    EntryState state = EntryState::Pending;
    // Why it failed, for a Failed entry.
    std::string reason;
};

// NotUndone: no finished undo run names the run. Undone: one does, and every
// product the run saved was put back (saved or found already back) by a
// finished undo run naming it. PartlyUndone: a finished undo run names it but
// some product it saved was not put back (changed since, failed, or not
// chosen); undoing it again by number may put back the rest.
enum class UndoState { NotUndone, Undone, PartlyUndone };

struct RunSummary {
    std::int64_t number = 0;
    RunInfo info;
    // False for a run that stopped before finishRun() (see runsToReconcile()),
    // or is still running.
    bool finished = false;
    // An unfinished run still held by the object that began it, in this
    // process or another: it is running now.
    bool running = false;
    // Products saved by the run (entries marked Saved).
    std::size_t changed = 0;
    // Entries never marked.
    std::size_t pending = 0;
    UndoState undone = UndoState::NotUndone;
};

class RunRecordFile {
public:
    // The record's path for a host: the host path followed by "_TarvexHistory".
    // Beside the host, so that it moves with it and lies with its backups,
    // whose names ("_Tarvex_" and a time stamp) it never takes or resembles.
    static std::string pathFor(const std::string& hostPath);

    // Opens the host's record for a run that writes, creating it when there is
    // none. Fails, with a text naming the file and the reason, when the file
    // or its folder cannot be written or read, when the file was made by a
    // newer Tarvex, or when it is not a sound run record: that file has then
    // been moved aside under a new name, which the text gives.
    // checked, from checkForReading(): the whole check is spared when the
    // file is still as that check found it (nothing has written to it
    // since, as its identity, size, times and change counter tell).
    static Result<RunRecordFile> open(const std::string& hostPath,
                                      const std::optional<RunRecordCheck>& checked = std::nullopt);
    // Checks the host's record wholly, as open() does before it writes, but
    // only reading: creates, moves and changes nothing. Empty when there is
    // no record, when it cannot be read or is not sound (open() then finds
    // and says so), or when it was written to while it was checked.
    static std::optional<RunRecordCheck> checkForReading(const std::string& hostPath);
    // Whether open() could write the host's record, as far as the file's
    // and its folder's permissions tell: looks only, and changes nothing.
    // Fails, with the text open() would give, when the record is not a
    // file, cannot be read or only read, or its folder (which takes the
    // journal of every write, and a new record) cannot be written.
    static Status writeCheck(const std::string& hostPath);
    // Opens the host's record only to read it: creates, moves and changes
    // nothing. A host without a record reads as one without runs.
    static Result<RunRecordFile> openForReading(const std::string& hostPath);

    RunRecordFile(RunRecordFile&&) noexcept;
    RunRecordFile& operator=(RunRecordFile&&) noexcept;
    ~RunRecordFile();

    const std::string& path() const { return m_path; }

    // Records the start of a run and returns its number (1, 2, 3, ... in the
    // order runs start). An undo run must name a run of this record; an
    // update run must not name one. The run is held alive (see above) from
    // before its start is on disk until finishRun() or the end of the object.
    Result<std::int64_t> beginRun(const RunInfo& info);
    // A run begun together with its first products: its number and the ids
    // of first's intents, in order.
    struct BegunRun {
        std::int64_t number = 0;
        std::vector<std::int64_t> ids;
    };
    // Records the start of a run and writes first into it (as writeBatch), in
    // one transaction, on disk when it returns, or nothing of either: a run
    // pays one commit for its start and its planned products.
    Result<BegunRun> beginRun(const RunInfo& info, const RecordBatch& first);
    // Records that the product is about to be saved, and returns the entry's
    // id. On disk when it returns: call it before the product's save, and save
    // nothing when it fails. The run must be one begun and not yet finished;
    // undoesEntry, for an undo run only, must be an entry of the run it undoes.
    Result<std::int64_t> recordIntent(std::int64_t run, const ProductEntry& entry);
    // Writes batch into run in one transaction, on disk when it returns, or
    // nothing of it: the marks (each as markDone or markFailed), then the
    // unchanged entries, then the intents (each as recordIntent), whose ids
    // it returns in order. Fails, writing nothing, when any one of them would.
    Result<std::vector<std::int64_t>> writeBatch(std::int64_t run, const RecordBatch& batch);
    // Marks a pending entry as ended: Saved or Unchanged (nothing needed
    // writing). Fails for an entry already marked.
    Status markDone(std::int64_t entry, EntryState outcome);
    // Marks a pending entry as failed, with the reason.
    Status markFailed(std::int64_t entry, const std::string& reason);
    // Records the end of a run and lets go of its hold. Fails while an entry
    // of it is still pending.
    Status finishRun(std::int64_t run);
    // Writes last into run (as writeBatch) and records the end of the run, in
    // one transaction, or nothing of either: the marks held at the end and
    // the end itself cost one commit.
    Status finishRun(std::int64_t run, const RecordBatch& last);

    // Every run, newest first.
    Result<std::vector<RunSummary>> listRuns();
    // The entries of one run, in the order they were recorded.
    Result<std::vector<RecordedEntry>> entriesOf(std::int64_t run);
    // The runs, oldest first, that stopped before they were finished: their
    // pending entries are to be compared with the host (a host record that
    // still holds the values before was not saved) and marked, and the run
    // then finished. A run another object holds (alive, in this process or
    // another) is left out, as are the runs this object began; each run
    // returned is held by this object from then on, so that no other run
    // puts it right at the same time, until finishRun() or the object's end.
    Result<std::vector<std::int64_t>> runsToReconcile();

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    // The descriptor that holds the runs' locks: its own, not SQLite's, so
    // that its locks belong to it alone. Opened (for writing) by open(), or
    // (only to ask) by a reader's first listRuns(), and closed only when the
    // object ends, when no transaction of the record is open: a close drops
    // every POSIX lock the process holds on the file, SQLite's included.
    struct LockHolder {
        int fd = -1;
        // Opened for writing, as a write lock needs.
        bool writable = false;
        LockHolder() = default;
        LockHolder(LockHolder&& other) noexcept;
        LockHolder& operator=(LockHolder&& other) noexcept;
        ~LockHolder();
    };
    enum class Hold { Began, Reconciling };
    // A prepared statement of the record (RunRecordQueries.cpp).
    class Statement;
    RunRecordFile(std::string path, sqlite3* db);
    // Takes the lock of run without waiting: 0, EAGAIN while another holds
    // it, or the system's reason it cannot be taken.
    int holdRun(std::int64_t run);
    // Lets go of the lock of a run this object holds.
    void letGo(std::int64_t run);
    // Whether another holds the lock of run: it is still running.
    bool heldElsewhere(std::int64_t run);
    // beginRun's work inside its transaction; held is set once the run's
    // number is held.
    Result<std::int64_t> insertRun(const RunInfo& info, std::optional<std::int64_t>& held);
    Status markEntry(std::int64_t entry, EntryState state, const std::string& reason);
    // Runs the prepared insert (insertFor(entry)) of entry into run: its id.
    Result<std::int64_t> insertEntry(Statement& insert, std::int64_t run, const ProductEntry& entry);
    // Runs the prepared mark (kMarkEntry) of a pending entry.
    Status updateEntry(Statement& update, std::int64_t entry, EntryState state, const std::string& reason);
    // Runs the marks in order: mark (kMarkEntry) for each alone, markRange
    // (kMarkSavedRange) for saved entries that follow one another.
    Status updateEntries(Statement& mark, Statement& markRange, const std::vector<RecordBatch::Mark>& marks);
    // Runs the prepared insert (insertNewEntries(count)) of count entries that
    // put back none into run, each with the next id after the highest; their
    // ids are added to ids.
    Status insertEntries(Statement& insert, std::int64_t run, const ProductEntry* entries, std::size_t count,
                         std::vector<std::int64_t>& ids);
    // finishRun's mark of the run's end, inside its transaction.
    Status markFinished(std::int64_t run);
    // writeBatch's work inside its transaction.
    Status writeBatchEntries(std::int64_t run, const RecordBatch& batch, std::vector<std::int64_t>& ids);
    std::string failure(const std::string& what) const;

    std::string m_path;
    std::unique_ptr<sqlite3, Closer> m_db;
    LockHolder m_locks;
    // The runs this object holds, and why.
    std::map<std::int64_t, Hold> m_held;
};

// The run a plain undo takes: the newest finished run that saved at least one
// product and is not undone. Given the runs as runsAsShown() reads them (as
// the history shows them), a run whose every undo was itself undone counts as
// not undone. Empty when there is none.
std::optional<std::int64_t> latestRunToUndo(const std::vector<RunSummary>& newestFirst);

} // namespace tarvex
