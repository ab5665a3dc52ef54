// Opening database files and tables, and checking their schema by name.
#include "platform/Database.h"

#include "platform/SqlText.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace tarvex {

namespace {

// Runs a statement that returns no rows of interest.
int execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// The file's own spelling of a table name, found without regard to case.
std::optional<std::string> findTable(sqlite3* db, const std::string& table)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", -1,
                           &stmt, nullptr) != SQLITE_OK)
        return std::nullopt;
    sqlite3_bind_text(stmt, 1, table.c_str(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    std::optional<std::string> name;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return name;
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

std::string sqliteError(sqlite3* db)
{
    return db ? sqlite3_errmsg(db) : "out of memory";
}

void Database::Closer::operator()(sqlite3* db) const
{
    sqlite3_close_v2(db);
}

Database::Database(std::string path, sqlite3* db)
    : m_path(std::move(path))
    , m_db(db)
{
}

Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database()
{
    endRead();
}

Result<Database> Database::open(const std::string& path, Access access)
{
    int rc = SQLITE_OK;
    if (access == Access::ReadWrite)
        return connect(path, path, SQLITE_OPEN_READWRITE, rc);
    Result<Database> db = connect(path, path, SQLITE_OPEN_READONLY, rc);
    // A write that was cut short left its journal behind: the file may be half
    // changed, and only a connection that may write can roll that back. One
    // does so, restoring the file as it was before that write, as any program
    // opening it for writing would; the file is then read as usual.
    if (!db && rc == SQLITE_READONLY_ROLLBACK) {
        int repairRc = SQLITE_OK;
        if (Result<Database> repair = connect(path, path, SQLITE_OPEN_READWRITE, repairRc); !repair)
            return Result<Database>::failure(path + ": a change to the file was cut short, and its journal " + path +
                                             "-journal cannot be rolled back here (" + repair.error() + ")");
        db = connect(path, path, SQLITE_OPEN_READONLY, rc);
    }
    // A reader of a WAL file shares the writers' index of the -wal file in a
    // -shm file, made beside the file when it is missing. In a folder that
    // cannot be written it cannot be made, and the open fails although
    // nothing would be written.
    if (db || !headerSaysWal(path) || (rc != SQLITE_READONLY_DIRECTORY && rc != SQLITE_CANTOPEN))
        return db;
    const std::string wal = path + "-wal";
    if (holdsData(wal))
        return Result<Database>::failure(path + ": its latest changes are in " + wal +
                                         ", which cannot be read here: the folder cannot be written to make " + path +
                                         "-shm beside it (" + db.error() + ")");
    // No changes wait in a -wal file, so the file holds the whole database:
    // it is read as it stands, without the -shm file and its locks.
    return connect(path, fileUri(path, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, rc);
}

Result<Database> Database::connect(const std::string& path, const std::string& name, int flags, int& rc)
{
    sqlite3* raw = nullptr;
    // No SQLITE_OPEN_CREATE: a path that names no file must fail, never leave
    // an empty database behind. No mutex around each call: a connection is
    // only ever used by the thread that opened it, and a long walk makes
    // several calls per record.
    rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(path, raw);
    if (rc != SQLITE_OK) {
        rc = raw ? sqlite3_extended_errcode(raw) : rc;
        return Result<Database>::failure(path + ": cannot open: " + sqliteError(raw));
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);
    // The files come from outside the program: their views and triggers may
    // not call functions with side effects, and nothing may rewrite their
    // schema or pages behind the engine's back.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // Reading the schema is what finds out whether the file is a database at
    // all: opening only checks that the file exists.
    rc = execute(raw, "SELECT count(*) FROM sqlite_schema");
    if (rc != SQLITE_OK)
        return Result<Database>::failure(path + ": " + sqliteError(raw));
    // Memory-mapped reads make the lookups of a long walk markedly faster.
    execute(raw, "PRAGMA mmap_size = 268435456");
    // Taken after the schema read, so that it is the file the engine holds.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        db.m_device = static_cast<unsigned long long>(info.st_dev);
        db.m_inode = static_cast<unsigned long long>(info.st_ino);
    }
    return db;
}

Status Database::stillAtPath() const
{
    struct stat info {};
    if (::stat(m_path.c_str(), &info) != 0)
        return Status::failure(m_path + ": the file is gone (" + std::strerror(errno) +
                               "); it was deleted or moved after it was opened");
    if (m_inode != 0 && (static_cast<unsigned long long>(info.st_dev) != m_device ||
                         static_cast<unsigned long long>(info.st_ino) != m_inode))
        return Status::failure(m_path + ": the file was replaced by another one after it was opened");
    return Status::success();
}

Status Database::settleLog()
{
    // TRUNCATE: the log is left with no bytes at all, not merely marked as
    // copied, so no later reader can take anything from it. A file in
    // rollback mode has no log, and the call does nothing.
    if (sqlite3_wal_checkpoint_v2(m_db.get(), "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) != SQLITE_OK)
        return Status::failure(m_path + "-wal: cannot empty the write-ahead log: " + sqliteError(m_db.get()));
    return Status::success();
}

bool Database::isReadOnly() const
{
    return sqlite3_db_readonly(m_db.get(), "main") == 1;
}

bool Database::hasTable(const std::string& table)
{
    return findTable(m_db.get(), table).has_value();
}

Result<Recordset> Database::openTable(const std::string& table, const std::vector<std::string>& columns)
{
    sqlite3* db = m_db.get();
    std::optional<std::string> name = findTable(db, table);
    if (!name)
        return Result<Recordset>::failure(m_path + ": has no table \"" + table + "\"");

    // Every column, generated and hidden ones too, may hide the row id; only
    // ordinary ones can be opened.
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, hidden FROM pragma_table_xinfo(?1)", -1, &stmt, nullptr) != SQLITE_OK)
        return Result<Recordset>::failure(m_path + ": " + sqliteError(db));
    sqlite3_bind_text(stmt, 1, name->c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> all;
    std::vector<std::string> present;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        all.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        if (sqlite3_column_int(stmt, 1) == 0)
            present.push_back(all.back());
    }
    sqlite3_finalize(stmt);

    auto named = [](const std::vector<std::string>& names, const std::string& wanted) {
        return std::find_if(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, wanted); });
    };
    std::vector<Recordset::Column> opened;
    for (const std::string& column : columns) {
        auto it = named(present, column);
        if (it == present.end())
            return Result<Recordset>::failure(m_path + ": table \"" + *name + "\" has no column \"" + column + "\"");
        opened.push_back({*it});
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
        return Result<Recordset>::failure(m_path + ": table \"" + *name +
                                          "\" cannot be read record by record: its columns named rowid, _rowid_ and "
                                          "oid hide the row id of its records");
    // A table without rowid cannot be walked and saved record by record.
    std::string probe = "SELECT " + rowId + " FROM " + quoteIdentifier(*name) + " LIMIT 0";
    if (sqlite3_prepare_v2(db, probe.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return Result<Recordset>::failure(m_path + ": table \"" + *name +
                                          "\" cannot be read record by record: " + sqliteError(db));
    sqlite3_finalize(stmt);
    return Recordset(db, *name, std::move(rowId), std::move(opened));
}

Status Database::beginRead()
{
    if (m_inRead)
        return Status::success();
    if (execute(m_db.get(), "BEGIN") != SQLITE_OK)
        return Status::failure(m_path + ": " + sqliteError(m_db.get()));
    m_inRead = true;
    return Status::success();
}

void Database::endRead()
{
    if (!m_inRead || !m_db)
        return;
    // A read transaction has nothing to keep: ending it releases the lock.
    execute(m_db.get(), "COMMIT");
    m_inRead = false;
}

} // namespace tarvex
