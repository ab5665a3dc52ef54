// Opening SQLite database files and tables, and reading their schema by name.
#include "platform/sqlite/SqliteDatabase.h"

#include "platform/sqlite/SqlText.h"
#include "platform/sqlite/SqliteStatement.h"
#include "platform/sqlite/SqliteTable.h"
#include "platform/text/TextHelpers.h"

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <optional>

namespace tarvex {

namespace {

// The file's own spelling of a table name, found without regard to case.
std::optional<std::string> findTable(sqlite3* db, const std::string& table)
{
    SqliteStatement stmt =
        prepareStatement(db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    if (!stmt)
        return std::nullopt;
    sqlite3_bind_text(stmt.get(), 1, table.c_str(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        return std::nullopt;
    return reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
}

// Whether the file's header marks it as in WAL mode: its read and write format
// versions, bytes 18 and 19, are 2.
bool headerSaysWal(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char header[20] = {};
    return file.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

// Whether a file at path holds anything.
bool holdsData(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

// path as an SQLite URI with the given parameters. "%", "?" and "#" are
// escaped so that they stay part of the name; an absolute path gets an empty
// authority, so that one starting with "//" is not read as a host name.
std::string fileUri(const std::string& path, const std::string& parameters)
{
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (char c : path) {
        if (c == '%')
            uri += "%25";
        else if (c == '?')
            uri += "%3f";
        else if (c == '#')
            uri += "%23";
        else
            uri += c;
    }
    return uri + "?" + parameters;
}

} // namespace

SqliteDatabase::SqliteDatabase(std::string path, sqlite3* db)
    : m_path(std::move(path))
    , m_db(db)
{
}

SqliteDatabase::~SqliteDatabase()
{
    endHold();
    endRead();
    sqlite3_close_v2(m_db);
}

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::open(const std::string& path, const OpenOptions& options)
{
    using R = Result<std::unique_ptr<SqliteDatabase>>;
    int rc = SQLITE_OK;
    if (options.mode == OpenMode::ReadWrite)
        return connect(path, path, SQLITE_OPEN_READWRITE, options, rc);
    R db = connect(path, path, SQLITE_OPEN_READONLY, options, rc);
    // A write that was cut short left its journal behind: the file may be half
    // changed, and only a connection that may write can roll that back. One
    // does so, restoring the file as it was before that write, as any program
    // opening it for writing would; the file is then read as usual.
    if (!db && rc == SQLITE_READONLY_ROLLBACK) {
        int repairRc = SQLITE_OK;
        if (R repair = connect(path, path, SQLITE_OPEN_READWRITE, options, repairRc); !repair)
            return R::failure(path + ": a change to the file was cut short, and its journal " + path +
                                  "-journal cannot be rolled back here (" + repair.error() + ")",
                              repair.kind());
        db = connect(path, path, SQLITE_OPEN_READONLY, options, rc);
    }
    // A reader of a WAL file shares the writers' index of the -wal file in a
    // -shm file, made beside the file when it is missing. In a folder that
    // cannot be written it cannot be made, and the open fails although
    // nothing would be written.
    if (db || !headerSaysWal(path) || (rc != SQLITE_READONLY_DIRECTORY && rc != SQLITE_CANTOPEN))
        return db;
    const std::string wal = path + "-wal";
    if (holdsData(wal))
        return R::failure(path + ": its latest changes are in " + wal +
                              ", which cannot be read here: the folder cannot be written to make " + path +
                              "-shm beside it (" + db.error() + ")",
                          ErrorKind::ReadOnly);
    // No changes wait in a -wal file, so the file holds the whole database:
    // it is read as it stands, without the -shm file and its locks.
    return connect(path, fileUri(path, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, options, rc);
}

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::connect(const std::string& path, const std::string& name,
                                                                int flags, const OpenOptions& options, int& rc)
{
    using R = Result<std::unique_ptr<SqliteDatabase>>;
    sqlite3* raw = nullptr;
    // No SQLITE_OPEN_CREATE: a path that names no file must fail, never leave
    // an empty database behind. No mutex around each call: a connection is
    // only ever used by the thread that opened it, and a long walk makes
    // several calls per record.
    rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<SqliteDatabase> db(new SqliteDatabase(path, raw));
    if (rc != SQLITE_OK) {
        rc = raw ? sqlite3_extended_errcode(raw) : rc;
        ErrorKind kind = sqliteErrorKind(rc);
        if ((rc & 0xff) == SQLITE_CANTOPEN && ::access(path.c_str(), F_OK) != 0 && errno == ENOENT)
            kind = ErrorKind::NotFound;
        return R::failure(path + ": cannot open: " + sqliteError(raw), kind);
    }
    sqlite3_busy_timeout(raw, options.busyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);
    // The files come from outside the program: their views and triggers may
    // not call functions with side effects, and nothing may rewrite their
    // schema or pages behind the engine's back.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // Reading the schema is what finds out whether the file is a database at
    // all: opening only checks that the file exists.
    rc = sqliteExecute(raw, "SELECT count(*) FROM sqlite_schema");
    if (rc != SQLITE_OK)
        return R::failure(path + ": " + sqliteError(raw), sqliteErrorKind(rc));
    // Memory-mapped reads make the lookups of a long walk markedly faster.
    sqliteExecute(raw, "PRAGMA mmap_size = 268435456");
    return db;
}

bool SqliteDatabase::hasTable(const std::string& table)
{
    return findTable(m_db, table).has_value();
}

Result<std::unique_ptr<EngineTable>> SqliteDatabase::openTable(const std::string& table,
                                                               const std::vector<std::string>& columns)
{
    using R = Result<std::unique_ptr<EngineTable>>;
    std::optional<std::string> name = findTable(m_db, table);
    if (!name)
        return R::failure(m_path + ": has no table \"" + table + "\"", ErrorKind::NotFound);

    // Every column, generated and hidden ones too, may hide the row id; only
    // ordinary ones can be opened.
    SqliteStatement stmt = prepareStatement(m_db, "SELECT name, hidden FROM pragma_table_xinfo(?1)");
    if (!stmt)
        return R::failure(m_path + ": " + sqliteError(m_db), sqliteErrorKind(sqlite3_errcode(m_db)));
    sqlite3_bind_text(stmt.get(), 1, name->c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> all;
    std::vector<std::string> present;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        all.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)));
        if (sqlite3_column_int(stmt.get(), 1) == 0)
            present.push_back(all.back());
    }

    auto named = [](const std::vector<std::string>& names, const std::string& wanted) {
        return std::find_if(names.begin(), names.end(),
                            [&](const std::string& n) { return sameIgnoringCase(n, wanted); });
    };
    std::vector<std::string> opened;
    for (const std::string& column : columns) {
        auto it = named(present, column);
        if (it == present.end())
            return R::failure(m_path + ": table \"" + *name + "\" has no column \"" + column + "\"",
                              ErrorKind::NotFound);
        opened.push_back(*it);
    }

    // Records are addressed by their row id. A column may take one of its
    // names, and SQL then means the column: the first name no column takes
    // is used.
    std::string rowId;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (named(all, candidate) == all.end()) {
            rowId = candidate;
            break;
        }
    }
    if (rowId.empty())
        return R::failure(m_path + ": table \"" + *name +
                          "\" cannot be read record by record: its columns named rowid, _rowid_ and "
                          "oid hide the row id of its records");
    // A table without rowid cannot be walked and saved record by record.
    if (!prepareStatement(m_db, "SELECT " + rowId + " FROM " + quoteIdentifier(*name) + " LIMIT 0"))
        return R::failure(m_path + ": table \"" + *name + "\" cannot be read record by record: " + sqliteError(m_db));
    return std::unique_ptr<EngineTable>(new SqliteTable(m_db, *name, std::move(rowId), std::move(opened)));
}

Result<IndexInfo> SqliteDatabase::index(const std::string& table, const std::string& index)
{
    std::optional<std::string> name = findTable(m_db, table);
    if (!name)
        return Result<IndexInfo>::failure(m_path + ": has no table \"" + table + "\"", ErrorKind::NotFound);
    Result<SqliteIndex> found = readSqliteIndex(m_db, *name, index);
    if (!found)
        return Result<IndexInfo>::failure(m_path + ": " + found.error(), found.kind());
    IndexInfo info{found->name, {}, found->unique};
    for (const SqliteIndex::Column& column : found->columns)
        info.columns.push_back(column.name);
    return info;
}

Result<std::uint64_t> SqliteDatabase::recordCount(const std::string& table)
{
    SqliteStatement stmt = prepareStatement(m_db, "SELECT count(*) FROM " + quoteIdentifier(table));
    int rc = stmt ? sqlite3_step(stmt.get()) : sqlite3_errcode(m_db);
    if (rc != SQLITE_ROW)
        return Result<std::uint64_t>::failure(
            m_path + ": counting the records of table \"" + table + "\": " + sqliteError(m_db), sqliteErrorKind(rc));
    return static_cast<std::uint64_t>(sqlite3_column_int64(stmt.get(), 0));
}

Status SqliteDatabase::saveCheck()
{
    if (sqlite3_db_readonly(m_db, "main") == 1)
        return Status::failure(m_path + ": " + kReadOnlyFile, ErrorKind::ReadOnly);
    // Every journal mode but an in-memory or disabled journal keeps a file
    // beside the database while a save is made, which needs a writable folder.
    std::string mode = sqliteQueryText(m_db, "PRAGMA journal_mode");
    if (mode == "memory" || mode == "off")
        return Status::success();
    return folderCheck(m_path);
}

Status SqliteDatabase::settleLog()
{
    // TRUNCATE: the log is left with no bytes at all, not merely marked as
    // copied, so no later reader can take anything from it. A file in
    // rollback mode has no log, and the call does nothing.
    int rc = sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return Status::failure(m_path + "-wal: cannot empty the write-ahead log: " + sqliteError(m_db),
                               sqliteErrorKind(rc));
    return Status::success();
}

Status SqliteDatabase::beginRead()
{
    return begin("BEGIN", m_inRead);
}

void SqliteDatabase::endRead()
{
    // A read transaction has nothing to keep: ending it releases the lock.
    end(m_inRead);
}

Status SqliteDatabase::holdWrites()
{
    return begin("BEGIN IMMEDIATE", m_holding);
}

void SqliteDatabase::endHold()
{
    // Nothing was written in it: ending it only lets other writers in.
    end(m_holding);
}

Status SqliteDatabase::begin(const char* sql, bool& held)
{
    if (held)
        return Status::success();
    if (m_inRead || m_holding)
        return Status::failure(m_path + ": the file is already held for " + (m_inRead ? "reading" : "writing"));
    int rc = sqliteExecute(m_db, sql);
    if (rc != SQLITE_OK)
        return Status::failure(m_path + ": " + sqliteError(m_db), sqliteErrorKind(rc));
    held = true;
    return Status::success();
}

void SqliteDatabase::end(bool& held)
{
    if (!held || !m_db)
        return;
    // COMMIT, not ROLLBACK, which would cut short the reads of open tables;
    // nothing is written in either transaction.
    sqliteExecute(m_db, "COMMIT");
    held = false;
}

} // namespace tarvex
