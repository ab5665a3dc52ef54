// Database: one open database file, the program's stand-in for a Jet database
// opened through DAO. It opens an existing SQLite file shared for reading and
// writing, or only for reading (never creating one), and hands out Recordsets:
// tables opened with a chosen set of columns, walked and searched through
// named indexes.
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

    enum class Access { ReadWrite, ReadOnly };

    // Opens the file at path, shared with other programs. Fails, with a text
    // naming the file, when the path does not exist (nothing is created), is
    // not an SQLite database, or cannot be read.
    //
    // ReadOnly never writes the file, and works in a folder that cannot be
    // written: a file in WAL mode is then read as it stands when no -wal file
    // beside it holds changes, and refused, naming that -wal file, when one
    // does and its companion -shm file cannot be made (its changes could not
    // be read, and reading without them would give an older price list). The
    // one exception is a write by another program that was cut short: it is
    // rolled back first, where the file can be written, and the open is
    // refused, naming the journal, where it cannot.
    static Result<Database> open(const std::string& path, Access access = Access::ReadWrite);

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
    // or one of the columns does not exist, or the table has no row id that a
    // column does not hide (a WITHOUT ROWID table, or columns named rowid,
    // _rowid_ and oid all three).
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
    // Opens name (path itself, or a URI for it) with flags and reads its
    // schema. rc is set to SQLite's extended result of the step that failed.
    static Result<Database> connect(const std::string& path, const std::string& name, int flags, int& rc);

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
