// Writing runs and their products into a run record, and reading them back:
// each write one transaction (one statement, or a batch), on disk when it
// returns.
#include "data/history/RunRecordFile.h"

#include "platform/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

namespace tarvex {

namespace {

const char* stateName(EntryState state)
{
    switch (state) {
    case EntryState::Pending:
        return "pending";
    case EntryState::Saved:
        return "saved";
    case EntryState::Unchanged:
        return "unchanged";
    case EntryState::Failed:
        return "failed";
    }
    return "pending";
}

EntryState stateFrom(const std::string& name)
{
    for (EntryState state : {EntryState::Saved, EntryState::Unchanged, EntryState::Failed})
        if (name == stateName(state))
            return state;
    return EntryState::Pending;
}

// The insert of a product's entry takes place only for a run begun and not
// finished and, in an undo run only, with the entry it puts back, which must
// belong to the run this one undoes: a record that says a product was undone
// by the wrong run would mislead every later look at it.
constexpr const char* kInsertEntry = R"sql(
INSERT INTO entry (run, host_record, code, name, cost_before, price_before, cost_after, price_after, undoes_entry)
SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9 FROM run r
WHERE r.number = ?1 AND r.finished IS NULL
  AND (?9 IS NULL) = (r.undoes IS NULL)
  AND (?9 IS NULL OR EXISTS (SELECT 1 FROM entry e WHERE e.id = ?9 AND e.run = r.undoes))
)sql";

// The same insert for an entry that puts back none, which the update runs'
// entries all are: it does not read the entry table it writes, so SQLite
// inserts straight from the run's row instead of first copying the selected
// row aside.
constexpr const char* kInsertNewEntry = R"sql(
INSERT INTO entry (run, host_record, code, name, cost_before, price_before, cost_after, price_after, undoes_entry)
SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9 FROM run r
WHERE r.number = ?1 AND r.finished IS NULL AND r.undoes IS NULL AND ?9 IS NULL
)sql";

// The insert for entry.
const char* insertFor(const ProductEntry& entry)
{
    return entry.undoesEntry ? kInsertEntry : kInsertNewEntry;
}

constexpr const char* kMarkEntry = "UPDATE entry SET state = ?2, reason = ?3 WHERE id = ?1 AND state = 'pending'";

// The mark of a range of pending entries as saved, ids ?1 to ?2, in one
// statement: one run of it for the range, not one for each entry.
constexpr const char* kMarkSavedRange =
    "UPDATE entry SET state = 'saved', reason = NULL WHERE id BETWEEN ?1 AND ?2 AND state = 'pending'";

// How many entries that put back none one insert statement writes, for the
// same reason: 64 in a batch of many, 16 in a smaller one. The longer
// statement takes about a millisecond to prepare, against 0.2 ms, and saves
// under a microsecond an entry: a run's first commit, awaited before its
// first save, holds 64 entries.
constexpr std::size_t kEntriesPerInsert = 64;
constexpr std::size_t kEntriesPerSmallInsert = 16;
constexpr std::size_t kManyEntries = 2048;
// The values bound for each entry of such an insert.
constexpr int kValuesPerEntry = 8;

// The insert of count entries that put back none (kInsertNewEntry's, with
// the same condition on the run ?1), each with its id given: ?2 to ?9 for the
// first (id, host_record, code, name, cost_before, price_before, cost_after,
// price_after), the next eight for the second, and so on.
std::string insertNewEntries(std::size_t count)
{
    std::string sql = "INSERT INTO entry (id, run, host_record, code, name, cost_before, price_before, cost_after, "
                      "price_after)\nSELECT v.column1, r.number, v.column2, v.column3, v.column4, v.column5, "
                      "v.column6, v.column7, v.column8\nFROM run r, (VALUES ";
    for (std::size_t k = 0; k < count; ++k) {
        sql += k == 0 ? "(" : ", (";
        for (int j = 0; j < kValuesPerEntry; ++j) {
            sql += j == 0 ? "?" : ", ?";
            sql += std::to_string(2 + static_cast<int>(k) * kValuesPerEntry + j);
        }
        sql += ')';
    }
    sql += ") v\nWHERE r.number = ?1 AND r.finished IS NULL AND r.undoes IS NULL";
    return sql;
}

// Each run, newest first, with the products it saved, its pending entries,
// whether a finished undo run names it and, only then (the count reads every
// saved entry), how many of its saved products such a run put back: saved
// again or found already back.
constexpr const char* kListRuns = R"sql(
SELECT r.number, r.kind, r.undoes, r.started, r.computer, r.user, r.vendor, r.update_database,
       r.backup_file, r.finished IS NOT NULL,
       (SELECT count(*) FROM entry e WHERE e.run = r.number AND e.state = 'saved'),
       (SELECT count(*) FROM entry e WHERE e.run = r.number AND e.state = 'pending'),
       EXISTS (SELECT 1 FROM run u WHERE u.undoes = r.number AND u.finished IS NOT NULL),
       CASE WHEN EXISTS (SELECT 1 FROM run u WHERE u.undoes = r.number AND u.finished IS NOT NULL)
       THEN (SELECT count(*) FROM entry e WHERE e.run = r.number AND e.state = 'saved' AND EXISTS (
                SELECT 1 FROM entry x JOIN run u ON u.number = x.run
                WHERE x.undoes_entry = e.id AND x.state IN ('saved', 'unchanged') AND u.finished IS NOT NULL))
       END
FROM run r ORDER BY r.number DESC
)sql";

} // namespace

// One prepared statement, finalised when it goes out of scope, with binds for
// the values a run record holds.
class RunRecordFile::Statement {
public:
    Statement(sqlite3* db, const char* sql)
        : m_stmt(prepareStatement(db, sql))
    {
    }

    bool prepared() const { return m_stmt != nullptr; }
    void bind(int i, std::int64_t value) { sqlite3_bind_int64(m_stmt.get(), i, value); }
    void bind(int i, const std::string& value)
    {
        sqlite3_bind_text(m_stmt.get(), i, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    void bind(int i, const char* value) { sqlite3_bind_text(m_stmt.get(), i, value, -1, SQLITE_STATIC); }
    void bind(int i, std::optional<double> value)
    {
        value ? sqlite3_bind_double(m_stmt.get(), i, *value) : sqlite3_bind_null(m_stmt.get(), i);
    }
    void bind(int i, std::optional<std::int64_t> value)
    {
        value ? sqlite3_bind_int64(m_stmt.get(), i, *value) : sqlite3_bind_null(m_stmt.get(), i);
    }
    void bindNull(int i) { sqlite3_bind_null(m_stmt.get(), i); }
    void bind(int i, const HostRecordId& value)
    {
        std::visit([&](const auto& v) { bind(i, v); }, value);
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return sqlite3_step(m_stmt.get()); }
    // Ready to be bound and run again.
    void reset()
    {
        sqlite3_reset(m_stmt.get());
        sqlite3_clear_bindings(m_stmt.get());
    }

    std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt.get(), column); }
    // The whole stored text, with its length: a product code may hold a NUL
    // byte, and the code read back must be the code written.
    std::string text(int column) const
    {
        const unsigned char* value = sqlite3_column_text(m_stmt.get(), column);
        if (!value)
            return "";
        return std::string(reinterpret_cast<const char*>(value),
                           static_cast<std::size_t>(sqlite3_column_bytes(m_stmt.get(), column)));
    }
    std::optional<double> number(int column) const
    {
        if (sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_double(m_stmt.get(), column);
    }
    std::optional<std::int64_t> optionalInteger(int column) const
    {
        if (sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL)
            return std::nullopt;
        return integer(column);
    }
    HostRecordId record(int column) const
    {
        if (sqlite3_column_type(m_stmt.get(), column) == SQLITE_INTEGER)
            return integer(column);
        return text(column);
    }

private:
    SqliteStatement m_stmt;
};

Result<std::int64_t> RunRecordFile::beginRun(const RunInfo& info)
{
    Result<BegunRun> begun = beginRun(info, RecordBatch{});
    if (!begun)
        return begun.status();
    return begun->number;
}

Result<RunRecordFile::BegunRun> RunRecordFile::beginRun(const RunInfo& info, const RecordBatch& first)
{
    using R = Result<BegunRun>;
    if (!m_db)
        return R::failure(m_path + ": the run record was opened only for reading");
    bool undo = info.kind == RunKind::Undo;
    if (undo != info.undoes.has_value())
        return R::failure(
            m_path + (undo ? ": an undo run must name the run it undoes" : ": only an undo run names another run"));
    // The run's number is chosen, its lock taken and its start written in
    // one write transaction: no other run can see it unfinished before it is
    // held, and so take it for one that stopped.
    if (sqliteExecute(m_db.get(), "BEGIN IMMEDIATE") != SQLITE_OK)
        return R::failure(failure("cannot record the run"));
    std::optional<std::int64_t> number;
    BegunRun run;
    Result<std::int64_t> inserted = insertRun(info, number);
    Status begun = inserted.status();
    if (begun.ok()) {
        run.number = *inserted;
        begun = writeBatchEntries(run.number, first, run.ids);
    }
    if (begun.ok() && sqliteExecute(m_db.get(), "COMMIT") != SQLITE_OK)
        begun = Status::failure(failure("cannot record the run"));
    if (!begun.ok()) {
        sqliteExecute(m_db.get(), "ROLLBACK");
        if (number)
            letGo(*number);
        return R(begun);
    }
    return run;
}

Result<std::int64_t> RunRecordFile::insertRun(const RunInfo& info, std::optional<std::int64_t>& held)
{
    using R = Result<std::int64_t>;
    bool undo = info.kind == RunKind::Undo;
    if (undo) {
        Statement undone(m_db.get(), "SELECT finished IS NOT NULL FROM run WHERE number = ?1");
        if (!undone.prepared())
            return R::failure(failure("cannot record the run"));
        undone.bind(1, *info.undoes);
        int rc = undone.step();
        if (rc == SQLITE_DONE)
            return R::failure(m_path + ": there is no run " + std::to_string(*info.undoes) + " to undo");
        if (rc != SQLITE_ROW)
            return R::failure(failure("cannot record the run"));
        // Which of its products were saved is not known until it is
        // reconciled with the host.
        if (undone.integer(0) == 0)
            return R::failure(m_path + ": run " + std::to_string(*info.undoes) +
                              " stopped before it finished and is not reconciled yet, so it cannot be undone");
    }
    Statement next(m_db.get(), "SELECT coalesce(max(number), 0) + 1 FROM run");
    if (!next.prepared() || next.step() != SQLITE_ROW)
        return R::failure(failure("cannot record the run"));
    std::int64_t number = next.integer(0);
    if (int error = holdRun(number); error != 0)
        return R::failure(m_path + ": cannot mark run " + std::to_string(number) + " as running (" +
                          (error == EAGAIN ? std::string("another program holds its lock") : std::strerror(error)) +
                          "), so this run could not be recorded");
    held = number;
    m_held[number] = Hold::Began;
    Statement insert(m_db.get(), "INSERT INTO run (number, kind, undoes, started, computer, user, vendor, "
                                 "update_database, backup_file) VALUES (?9, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    if (!insert.prepared())
        return R::failure(failure("cannot record the run"));
    insert.bind(1, undo ? "undo" : "update");
    insert.bind(2, info.undoes);
    insert.bind(3, static_cast<std::int64_t>(info.when));
    insert.bind(4, info.computer);
    insert.bind(5, info.user);
    insert.bind(6, info.vendor);
    insert.bind(7, info.updateDatabasePath);
    insert.bind(8, info.backupFileName);
    insert.bind(9, number);
    if (insert.step() != SQLITE_DONE)
        return R::failure(failure("cannot record the run"));
    return number;
}

Result<std::int64_t> RunRecordFile::recordIntent(std::int64_t run, const ProductEntry& entry)
{
    using R = Result<std::int64_t>;
    if (!m_db)
        return R::failure(m_path + ": the run record was opened only for reading");
    Statement insert(m_db.get(), insertFor(entry));
    if (!insert.prepared())
        return R::failure(failure("cannot record the product " + entry.code));
    return insertEntry(insert, run, entry);
}

Result<std::int64_t> RunRecordFile::insertEntry(Statement& insert, std::int64_t run, const ProductEntry& entry)
{
    using R = Result<std::int64_t>;
    insert.reset();
    insert.bind(1, run);
    insert.bind(2, entry.record);
    insert.bind(3, entry.code);
    insert.bind(4, entry.name);
    insert.bind(5, entry.costBefore);
    insert.bind(6, entry.priceBefore);
    insert.bind(7, entry.costAfter);
    insert.bind(8, entry.priceAfter);
    insert.bind(9, entry.undoesEntry);
    if (insert.step() != SQLITE_DONE)
        return R::failure(failure("cannot record the product " + entry.code));
    if (sqlite3_changes(m_db.get()) != 1)
        return R::failure(m_path + ": the product " + entry.code + " cannot be recorded for run " +
                          std::to_string(run) +
                          ": the run is not open, or the entry it puts back is missing or not one of the run it "
                          "undoes");
    return sqlite3_last_insert_rowid(m_db.get());
}

Result<std::vector<std::int64_t>> RunRecordFile::writeBatch(std::int64_t run, const RecordBatch& batch)
{
    using R = Result<std::vector<std::int64_t>>;
    if (!m_db)
        return R::failure(m_path + ": the run record was opened only for reading");
    std::vector<std::int64_t> ids;
    if (batch.empty())
        return ids;
    if (sqliteExecute(m_db.get(), "BEGIN IMMEDIATE") != SQLITE_OK)
        return R::failure(failure("cannot record the products of run " + std::to_string(run)));
    Status written = writeBatchEntries(run, batch, ids);
    if (written.ok() && sqliteExecute(m_db.get(), "COMMIT") != SQLITE_OK)
        written = Status::failure(failure("cannot record the products of run " + std::to_string(run)));
    if (!written.ok()) {
        sqliteExecute(m_db.get(), "ROLLBACK");
        return R(written);
    }
    return ids;
}

Status RunRecordFile::writeBatchEntries(std::int64_t run, const RecordBatch& batch, std::vector<std::int64_t>& ids)
{
    if (batch.empty())
        return Status::success();
    // Every value written here meets the schema's CHECKs by its making: a
    // state is one of EntryState's own texts, a new entry's is the default
    // 'pending', a host record is bound as an integer or a text. So the
    // batch is written with the CHECKs left out: SQLite evaluates them for
    // every row it writes, building the lists of allowed states and types
    // anew each time, about two fifths of marking a run's entries and of
    // inserting them. Set before the statements are prepared, which then
    // need no recompiling; the checks are back for any other statement.
    struct ChecksLeftOut {
        sqlite3* db;
        explicit ChecksLeftOut(sqlite3* d)
            : db(d)
        {
            sqliteExecute(db, "PRAGMA ignore_check_constraints = ON");
        }
        ~ChecksLeftOut() { sqliteExecute(db, "PRAGMA ignore_check_constraints = OFF"); }
    } checksLeftOut(m_db.get());
    // Each statement prepared once for the whole batch: a batch holds every
    // product of a run.
    Statement mark(m_db.get(), kMarkEntry);
    Statement markRange(m_db.get(), kMarkSavedRange);
    Statement insert(m_db.get(), kInsertEntry);
    Statement insertNew(m_db.get(), kInsertNewEntry);
    if (!mark.prepared() || !markRange.prepared() || !insert.prepared() || !insertNew.prepared())
        return Status::failure(failure("cannot record the products of run " + std::to_string(run)));
    auto insertOf = [&](const ProductEntry& entry) -> Statement& { return entry.undoesEntry ? insert : insertNew; };
    if (Status marked = updateEntries(mark, markRange, batch.marks); !marked.ok())
        return marked;
    for (const ProductEntry& entry : batch.unchanged) {
        Result<std::int64_t> id = insertEntry(insertOf(entry), run, entry);
        Status marked = id ? updateEntry(mark, *id, EntryState::Unchanged, "") : id.status();
        if (!marked.ok())
            return marked;
    }
    ids.reserve(batch.intents.size());
    const std::size_t perInsert = batch.intents.size() >= kManyEntries ? kEntriesPerInsert : kEntriesPerSmallInsert;
    std::optional<Statement> fullInsert;
    for (std::size_t i = 0; i < batch.intents.size();) {
        // The entries that put back none, up to perInsert of them that
        // follow one another, in one statement; any other alone.
        std::size_t count = 0;
        while (i + count < batch.intents.size() && count < perInsert && !batch.intents[i + count].undoesEntry)
            ++count;
        if (count < 2) {
            Result<std::int64_t> id = insertEntry(insertOf(batch.intents[i]), run, batch.intents[i]);
            if (!id)
                return id.status();
            ids.push_back(*id);
            ++i;
            continue;
        }
        if (count == perInsert && !fullInsert)
            fullInsert.emplace(m_db.get(), insertNewEntries(perInsert).c_str());
        std::optional<Statement> partInsert;
        if (count < perInsert)
            partInsert.emplace(m_db.get(), insertNewEntries(count).c_str());
        Statement& statement = count == perInsert ? *fullInsert : *partInsert;
        if (Status inserted = insertEntries(statement, run, &batch.intents[i], count, ids); !inserted.ok())
            return inserted;
        i += count;
    }
    return Status::success();
}

Status RunRecordFile::insertEntries(Statement& insert, std::int64_t run, const ProductEntry* entries, std::size_t count,
                                    std::vector<std::int64_t>& ids)
{
    auto failed = [&] { return Status::failure(failure("cannot record the product " + entries[0].code)); };
    // Each entry's id is given, the next ones after the highest (what SQLite
    // would choose for each in turn), so that the ids returned are known to
    // be the entries' own. The batch's transaction holds the record's write
    // lock, so no other run takes them meanwhile.
    Statement highest(m_db.get(), "SELECT coalesce(max(id), 0) FROM entry");
    if (!insert.prepared() || !highest.prepared() || highest.step() != SQLITE_ROW)
        return failed();
    const std::int64_t last = highest.integer(0);
    if (last > std::numeric_limits<std::int64_t>::max() - static_cast<std::int64_t>(count))
        return Status::failure(m_path + ": the run record holds no more entry numbers, so the product " +
                               entries[0].code + " cannot be recorded");
    insert.reset();
    insert.bind(1, run);
    for (std::size_t k = 0; k < count; ++k) {
        const ProductEntry& entry = entries[k];
        const int at = 2 + static_cast<int>(k) * kValuesPerEntry;
        insert.bind(at, last + 1 + static_cast<std::int64_t>(k));
        insert.bind(at + 1, entry.record);
        insert.bind(at + 2, entry.code);
        insert.bind(at + 3, entry.name);
        insert.bind(at + 4, entry.costBefore);
        insert.bind(at + 5, entry.priceBefore);
        insert.bind(at + 6, entry.costAfter);
        insert.bind(at + 7, entry.priceAfter);
    }
    if (insert.step() != SQLITE_DONE)
        return failed();
    if (sqlite3_changes(m_db.get()) != static_cast<int>(count))
        return Status::failure(m_path + ": the product " + entries[0].code + " cannot be recorded for run " +
                               std::to_string(run) + ": the run is not open");
    for (std::size_t k = 0; k < count; ++k)
        ids.push_back(last + 1 + static_cast<std::int64_t>(k));
    return Status::success();
}

Status RunRecordFile::updateEntries(Statement& mark, Statement& markRange, const std::vector<RecordBatch::Mark>& marks)
{
    // Written with the CHECKs left out (writeBatchEntries).
    if (marks.empty())
        return Status::success();
    for (std::size_t i = 0; i < marks.size();) {
        // Saved marks of entries that follow one another go in one statement;
        // any other alone, in the order given.
        const RecordBatch::Mark& first = marks[i];
        std::size_t count = 1;
        auto follows = [&](const RecordBatch::Mark& m) {
            return m.state == EntryState::Saved && m.reason.empty() &&
                   first.entry < std::numeric_limits<std::int64_t>::max() - static_cast<std::int64_t>(count) &&
                   m.entry == first.entry + static_cast<std::int64_t>(count);
        };
        if (first.state == EntryState::Saved && first.reason.empty())
            while (i + count < marks.size() && follows(marks[i + count]))
                ++count;
        i += count;
        if (count == 1) {
            if (Status marked = updateEntry(mark, first.entry, first.state, first.reason); !marked.ok())
                return marked;
            continue;
        }
        const std::int64_t lastEntry = first.entry + static_cast<std::int64_t>(count) - 1;
        markRange.reset();
        markRange.bind(1, first.entry);
        markRange.bind(2, lastEntry);
        if (markRange.step() != SQLITE_DONE)
            return Status::failure(failure("cannot mark entry " + std::to_string(first.entry)));
        if (sqlite3_changes(m_db.get()) != static_cast<int>(count))
            return Status::failure(m_path + ": entries " + std::to_string(first.entry) + " to " +
                                   std::to_string(lastEntry) + " are not all pending entries");
    }
    return Status::success();
}

Status RunRecordFile::markDone(std::int64_t entry, EntryState outcome)
{
    if (outcome != EntryState::Saved && outcome != EntryState::Unchanged)
        return Status::failure(m_path + ": an entry is done only as saved or unchanged");
    return markEntry(entry, outcome, "");
}

Status RunRecordFile::markFailed(std::int64_t entry, const std::string& reason)
{
    return markEntry(entry, EntryState::Failed, reason);
}

Status RunRecordFile::markEntry(std::int64_t entry, EntryState state, const std::string& reason)
{
    if (!m_db)
        return Status::failure(m_path + ": the run record was opened only for reading");
    Statement update(m_db.get(), kMarkEntry);
    if (!update.prepared())
        return Status::failure(failure("cannot mark entry " + std::to_string(entry)));
    return updateEntry(update, entry, state, reason);
}

Status RunRecordFile::updateEntry(Statement& update, std::int64_t entry, EntryState state, const std::string& reason)
{
    if (state == EntryState::Pending)
        return Status::failure(m_path + ": entry " + std::to_string(entry) + " cannot be marked pending again");
    update.reset();
    update.bind(1, entry);
    update.bind(2, stateName(state));
    if (reason.empty())
        update.bindNull(3);
    else
        update.bind(3, reason);
    if (update.step() != SQLITE_DONE)
        return Status::failure(failure("cannot mark entry " + std::to_string(entry)));
    if (sqlite3_changes(m_db.get()) != 1)
        return Status::failure(m_path + ": entry " + std::to_string(entry) + " is not a pending entry");
    return Status::success();
}

Status RunRecordFile::finishRun(std::int64_t run)
{
    return finishRun(run, RecordBatch{});
}

Status RunRecordFile::finishRun(std::int64_t run, const RecordBatch& last)
{
    if (!m_db)
        return Status::failure(m_path + ": the run record was opened only for reading");
    if (sqliteExecute(m_db.get(), "BEGIN IMMEDIATE") != SQLITE_OK)
        return Status::failure(failure("cannot finish run " + std::to_string(run)));
    std::vector<std::int64_t> ids;
    Status finished = writeBatchEntries(run, last, ids);
    if (finished.ok())
        finished = markFinished(run);
    if (finished.ok() && sqliteExecute(m_db.get(), "COMMIT") != SQLITE_OK)
        finished = Status::failure(failure("cannot finish run " + std::to_string(run)));
    if (!finished.ok()) {
        sqliteExecute(m_db.get(), "ROLLBACK");
        return finished;
    }
    letGo(run);
    return Status::success();
}

Status RunRecordFile::markFinished(std::int64_t run)
{
    Statement update(m_db.get(), R"sql(
UPDATE run SET finished = ?2 WHERE number = ?1 AND finished IS NULL
  AND NOT EXISTS (SELECT 1 FROM entry WHERE run = ?1 AND state = 'pending')
)sql");
    if (!update.prepared())
        return Status::failure(failure("cannot finish run " + std::to_string(run)));
    update.bind(1, run);
    update.bind(2, static_cast<std::int64_t>(std::time(nullptr)));
    if (update.step() != SQLITE_DONE)
        return Status::failure(failure("cannot finish run " + std::to_string(run)));
    if (sqlite3_changes(m_db.get()) != 1)
        return Status::failure(m_path + ": run " + std::to_string(run) +
                               " cannot be finished: it is not an open run, or a product of it is not marked");
    return Status::success();
}

Result<std::vector<RunSummary>> RunRecordFile::listRuns()
{
    using R = Result<std::vector<RunSummary>>;
    std::vector<RunSummary> runs;
    if (!m_db)
        return runs;
    Statement select(m_db.get(), kListRuns);
    if (!select.prepared())
        return R::failure(failure("cannot read the runs"));
    int rc;
    while ((rc = select.step()) == SQLITE_ROW) {
        RunSummary run;
        run.number = select.integer(0);
        run.info.kind = select.text(1) == "undo" ? RunKind::Undo : RunKind::Update;
        run.info.undoes = select.optionalInteger(2);
        run.info.when = static_cast<std::time_t>(select.integer(3));
        run.info.computer = select.text(4);
        run.info.user = select.text(5);
        run.info.vendor = select.text(6);
        run.info.updateDatabasePath = select.text(7);
        run.info.backupFileName = select.text(8);
        run.finished = select.integer(9) != 0;
        run.changed = static_cast<std::size_t>(select.integer(10));
        run.pending = static_cast<std::size_t>(select.integer(11));
        if (select.integer(12) != 0)
            run.undone = select.integer(13) == select.integer(10) ? UndoState::Undone : UndoState::PartlyUndone;
        if (!run.finished) {
            auto held = m_held.find(run.number);
            run.running = held != m_held.end() ? held->second == Hold::Began : heldElsewhere(run.number);
        }
        runs.push_back(std::move(run));
    }
    if (rc != SQLITE_DONE)
        return R::failure(failure("cannot read the runs"));
    return runs;
}

Result<std::vector<RecordedEntry>> RunRecordFile::entriesOf(std::int64_t run)
{
    using R = Result<std::vector<RecordedEntry>>;
    std::vector<RecordedEntry> entries;
    if (!m_db)
        return entries;
    Statement select(m_db.get(), "SELECT id, host_record, code, name, cost_before, price_before, cost_after, "
                                 "price_after, undoes_entry, state, reason FROM entry WHERE run = ?1 ORDER BY id");
    if (!select.prepared())
        return R::failure(failure("cannot read the products of run " + std::to_string(run)));
    select.bind(1, run);
    int rc;
    while ((rc = select.step()) == SQLITE_ROW) {
        RecordedEntry entry;
        entry.id = select.integer(0);
        entry.run = run;
        entry.product.record = select.record(1);
        entry.product.code = select.text(2);
        entry.product.name = select.text(3);
        entry.product.costBefore = select.number(4);
        entry.product.priceBefore = select.number(5);
        entry.product.costAfter = select.number(6);
        entry.product.priceAfter = select.number(7);
        entry.product.undoesEntry = select.optionalInteger(8);
        entry.state = stateFrom(select.text(9));
        entry.reason = select.text(10);
        entries.push_back(std::move(entry));
    }
    if (rc != SQLITE_DONE)
        return R::failure(failure("cannot read the products of run " + std::to_string(run)));
    return entries;
}

Result<std::vector<std::int64_t>> RunRecordFile::runsToReconcile()
{
    using R = Result<std::vector<std::int64_t>>;
    std::vector<std::int64_t> runs;
    if (!m_db)
        return runs;
    Statement select(m_db.get(), "SELECT number FROM run WHERE finished IS NULL ORDER BY number");
    if (!select.prepared())
        return R::failure(failure("cannot read the runs"));
    int rc;
    while ((rc = select.step()) == SQLITE_ROW)
        runs.push_back(select.integer(0));
    if (rc != SQLITE_DONE)
        return R::failure(failure("cannot read the runs"));
    // A run whose lock another holds is still running: its pending entries
    // are products it is saving now, and what the host holds says nothing
    // yet of how their saves end.
    std::vector<std::int64_t> stopped;
    for (std::int64_t run : runs) {
        auto held = m_held.find(run);
        if (held != m_held.end()) {
            if (held->second == Hold::Reconciling)
                stopped.push_back(run);
            continue;
        }
        int error = holdRun(run);
        if (error == EAGAIN)
            continue;
        if (error != 0)
            return R::failure(m_path + ": cannot tell whether run " + std::to_string(run) + " is still running (" +
                              std::strerror(error) + ")");
        m_held[run] = Hold::Reconciling;
        stopped.push_back(run);
    }
    return stopped;
}

std::optional<std::int64_t> latestRunToUndo(const std::vector<RunSummary>& newestFirst)
{
    for (const RunSummary& run : newestFirst)
        if (run.finished && run.changed > 0 && run.undone == UndoState::NotUndone)
            return run.number;
    return std::nullopt;
}

} // namespace tarvex
