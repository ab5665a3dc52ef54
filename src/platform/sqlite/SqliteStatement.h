// The few pieces every user of SQLite's C interface in the program needs: a
// prepared statement that finalizes itself, running a statement for its
// effect or its one value, and the last error of a connection as a text and
// as an ErrorKind. The SQLite engine, the tools and
// the benchmarks share them.
#pragma once

#include "platform/Result.h"

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace tarvex {

struct SqliteStatementCloser {
    void operator()(sqlite3_stmt* stmt) const;
};
// A prepared statement, finalized when the holder goes.
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementCloser>;

// Prepares sql on db; empty when it cannot be prepared (sqliteError(db) then
// says why).
SqliteStatement prepareStatement(sqlite3* db, const std::string& sql);

// Runs sql, whose rows are of no interest; SQLite's result code.
int sqliteExecute(sqlite3* db, const char* sql);
// The first column of sql's first row as text, empty when there is none.
std::string sqliteQueryText(sqlite3* db, const char* sql);

// What running a query for its one value gave: the first column of its first
// row as text (empty when there is none or the query failed), and SQLite's
// result code, SQLITE_OK when the query ran, for a caller that tells one
// failure from another.
struct SqliteQueryResult {
    std::string text;
    int code = 0;
};
SqliteQueryResult sqliteQuery(sqlite3* db, const char* sql);

// The text of SQLite's last error on db, for messages.
std::string sqliteError(sqlite3* db);
// What an SQLite result code means to a caller.
ErrorKind sqliteErrorKind(int code);

} // namespace tarvex
