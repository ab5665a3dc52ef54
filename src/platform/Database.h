// Database: one open database file, the program's stand-in for a Jet database
// opened through DAO. It opens an existing SQLite file shared for reading and
// writing (never creating one), and hands out Recordsets: tables opened with a
// chosen set of columns, walked and searched through named indexes.
//
// Table, column and index names are matched without regard to letter case, as
// the original engine matched them; the file's own spelling is used in SQL.
#pragma once

#include "platform/Recordset.h"
#include "platform/Result.h"

#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace tarvex {

class Database {
public:
    // How long a write or read waits for a lock held by another program before
    // it gives up.
    static constexpr int kBusyTimeoutMs = 5000;

    // Opens the file at path for reading and writing, shared with other
    // programs. Fails, with a text naming the file, when the path does not
    // exist (nothing is created), is not an SQLite database, or cannot be read.
    static Result<Database> open(const std::string& path);

    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    ~Database();

    const std::string& path() const { return m_path; }
    // True when the file could only be opened for reading (its permissions).
    bool isReadOnly() const;
    // Success while the path still names the file that was opened. Fails,
    // naming the path, when the file has since been deleted, moved away or
    // replaced by another: writes through this connection would then go to a
    // file no one will ever open again.
    Status stillAtPath() const;
    // For a file in WAL mode: copies everything written through this
    // connection from the write-ahead log into the opened file and empties
    // the log. Once the path names another file, an unemptied log beside it
    // would be replayed into that file by the next program to open it.
    // Nothing to do for other files.
    Status settleLog();

    // Opens a table with the columns the caller will use. Fails when the table
    // or one of the columns does not exist, or the table has no rowid.
    Result<Recordset> openTable(const std::string& table, const std::vector<std::string>& columns);
    // Whether the table exists (letter case ignored).
    bool hasTable(const std::string& table);

    // Holds one read transaction across many reads, so that a long walk with a
    // lookup per record takes the file's lock once instead of once per lookup.
    // Writes are not allowed while it is held. endRead() is safe to call when
    // no read is held.
    Status beginRead();
    void endRead();

    sqlite3* handle() const { return m_db.get(); }

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    Database(std::string path, sqlite3* db);

    std::string m_path;
    std::unique_ptr<sqlite3, Closer> m_db;
    // The opened file's identity (device and inode), 0 when unknown.
    unsigned long long m_device = 0;
    unsigned long long m_inode = 0;
    bool m_inRead = false;
};

// The text of SQLite's last error on db, for messages.
std::string sqliteError(sqlite3* db);

} // namespace tarvex
