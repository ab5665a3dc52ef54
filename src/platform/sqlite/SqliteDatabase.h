// SqliteDatabase: the SQLite engine behind a Database. One connection to an
// existing SQLite file, opened for reading and writing without creating
// anything, with the file's views and triggers kept from calling functions
// with side effects. Its consistent copy for a backup is made under a read
// transaction of a connection of its own (see copyFile).
#pragma once

#include "platform/db/DatabaseEngine.h"
#include "platform/os/FileCopy.h"
#include "platform/sqlite/SqliteStatement.h"

#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace tarvex {

class Database;

class SqliteDatabase : public DatabaseEngine {
public:
    // Opens path for reading and writing, or only for reading, as
    // Database::open describes. Fails, naming the file, when it does not
    // exist (NotFound), is not an SQLite database (NotADatabase) or cannot be
    // read.
    static Result<std::unique_ptr<SqliteDatabase>> open(const std::string& path, const OpenOptions& options);

    // Copies the file at source to destination under a read transaction, so
    // that no other program commits half-way through: through SQLite's online
    // backup for a database in WAL mode, through plainCopy otherwise (a file
    // that is not an SQLite database is copied as it stands). A journal left
    // by an interrupted write is rolled back first (the result's rolledBack
    // then says so), so the copy is of the file as it was last completely
    // saved. Fails, naming the file, when the lock cannot be had within the
    // busy timeout or the journal cannot be rolled back.
    static CopyResult copyFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                               Progress* progress, const OpenOptions& options);

    // Database::writeCheck for an SQLite file: the file and its folder can
    // be written, and no journal of an interrupted write is left where this
    // user cannot remove it (that write is then rolled back when this user
    // may write the file; the text names the journal, its owner and what to
    // do).
    static Status writeCheck(const std::string& path);

    ~SqliteDatabase() override;

    bool hasTable(const std::string& table) override;
    Result<std::unique_ptr<EngineTable>> openTable(const std::string& table,
                                                   const std::vector<std::string>& columns) override;
    Result<IndexInfo> index(const std::string& table, const std::string& index) override;
    Result<std::uint64_t> recordCount(const std::string& table) override;
    Status saveCheck() override;
    Status settleLog() override;
    Status beginRead() override;
    void endRead() override;
    Status holdWrites() override;
    void endHold() override;

    sqlite3* handle() const { return m_db; }

private:
    SqliteDatabase(std::string path, sqlite3* db);
    // Fails (ReadOnly), naming path and its folder, when that folder, where
    // the journal of every save is made, cannot be written.
    static Status folderCheck(const std::string& path);
    static constexpr const char* kReadOnlyFile = "the file can only be opened for reading";
    // Opens name (path itself, or a URI for it) with flags and reads its
    // schema. rc is set to SQLite's extended result of the step that failed.
    // Starts a transaction with sql (BEGIN or BEGIN IMMEDIATE) and notes it
    // in held; nothing to do when held already says so.
    Status begin(const char* sql, bool& held);
    // Ends the transaction held notes, when it does.
    void end(bool& held);
    static Result<std::unique_ptr<SqliteDatabase>> connect(const std::string& path, const std::string& name, int flags,
                                                           const OpenOptions& options, int& rc);

    std::string m_path;
    sqlite3* m_db = nullptr;
    bool m_inRead = false;
    bool m_holding = false;
};

// The SQLite connection behind db, for tools and benchmarks that work on the
// file directly; null when db is not an SQLite database. Defined beside the
// door (Database.cpp): this room does not include it.
sqlite3* sqliteHandle(const Database& db);

} // namespace tarvex
