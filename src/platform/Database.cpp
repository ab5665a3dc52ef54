// Opening database files and tables, and checking their schema by name.
#include "platform/Database.h"

#include "platform/SqlText.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

Result<Database> Database::open(const std::string& path)
{
    sqlite3* raw = nullptr;
    // No SQLITE_OPEN_CREATE: a path that names no file must fail, never leave
    // an empty database behind. No mutex around each call: a connection is
    // only ever used by the thread that opened it, and a long walk makes
    // several calls per record.
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(path, raw);
    if (rc != SQLITE_OK)
        return Result<Database>::failure(path + ": cannot open: " + sqliteError(raw));
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

    sqlite3_stmt* stmt = nullptr;
    std::string sql = "SELECT name FROM pragma_table_info(?1)";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return Result<Recordset>::failure(m_path + ": " + sqliteError(db));
    sqlite3_bind_text(stmt, 1, name->c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> present;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        present.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);

    std::vector<Recordset::Column> opened;
    for (const std::string& column : columns) {
        auto it =
            std::find_if(present.begin(), present.end(), [&](const std::string& p) { return sameName(p, column); });
        if (it == present.end())
            return Result<Recordset>::failure(m_path + ": table \"" + *name + "\" has no column \"" + column + "\"");
        opened.push_back({*it});
    }

    // A table without rowid cannot be walked and saved record by record.
    std::string probe = "SELECT rowid FROM " + quoteIdentifier(*name) + " LIMIT 0";
    if (sqlite3_prepare_v2(db, probe.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return Result<Recordset>::failure(m_path + ": table \"" + *name +
                                          "\" cannot be read record by record: " + sqliteError(db));
    sqlite3_finalize(stmt);
    return Recordset(db, *name, std::move(opened));
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
