// Prepared statements and error texts and kinds of SQLite's C interface.
#include "platform/sqlite/SqliteStatement.h"

#include <sqlite3.h>

namespace tarvex {

void SqliteStatementCloser::operator()(sqlite3_stmt* stmt) const
{
    sqlite3_finalize(stmt);
}

SqliteStatement prepareStatement(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return SqliteStatement(stmt);
}

int sqliteExecute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

std::string sqliteQueryText(sqlite3* db, const char* sql)
{
    return sqliteQuery(db, sql).text;
}

SqliteQueryResult sqliteQuery(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    SqliteStatement stmt(raw);
    if (rc != SQLITE_OK)
        return {{}, rc};
    rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW)
        return {{}, rc == SQLITE_DONE ? SQLITE_OK : rc};
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return {text ? reinterpret_cast<const char*>(text) : "", SQLITE_OK};
}

std::string sqliteError(sqlite3* db)
{
    return db ? sqlite3_errmsg(db) : "out of memory";
}

ErrorKind sqliteErrorKind(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ErrorKind::Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    // At a save, what cannot be opened is the journal beside the file.
    case SQLITE_CANTOPEN:
        return ErrorKind::ReadOnly;
    case SQLITE_IOERR:
    case SQLITE_FULL:
        return ErrorKind::Io;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ErrorKind::NotADatabase;
    default:
        return ErrorKind::Other;
    }
}

} // namespace tarvex
