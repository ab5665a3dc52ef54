// Database: one open database file, the program's stand-in for a Jet database
// opened through DAO. It opens an existing file shared for reading and writing
// (never creating one), and hands out Recordsets: tables opened with a chosen
// set of columns, walked and searched through named indexes.
//
// The file's own first bytes choose the engine behind it (see DatabaseEngine):
// an SQLite database is opened through SQLite, an Access file (Jet 3, Jet 4
// or ACE) through the Access reader and in-place writer (AccessDatabase).
//
// Table, column and index names are matched without regard to letter case, as
// the original engine matched them; the file's own spelling is used inside.
#pragma once

#include "platform/db/DatabaseEngine.h"
#include "platform/os/FileCopy.h"
#include "platform/Recordset.h"
#include "platform/Result.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvex {

// What a file's first bytes say it holds, for the layers above the door,
// which never read a file's header themselves: a price list or host named
// .mdb may be an SQLite or an Access file, and an .accdb file may carry an
// .mdb name.
struct DatabaseFileKind {
    // An SQLite or Access database, the kinds this program reads.
    bool database = false;
    // One of the Access formats (Access 97, 2000-2003, 2007 or later).
    bool access = false;
    // "SQLite", "Access 97", "Access 2000-2003", "Access 2007 or later",
    // "not a database", for messages.
    std::string name;
};

class Database {
public:
    // Opens the file at path, shared with other programs, for reading and
    // writing or (options.mode) only for reading. Fails, with a text naming
    // the file, when the path does not exist (NotFound; nothing is created),
    // is not a database this program can open (NotADatabase), or cannot be
    // read.
    //
    // ReadOnly never writes the file, and works in a folder that cannot be
    // written: an SQLite file in WAL mode is then read as it stands when no
    // -wal file beside it holds changes, and refused, naming that -wal file,
    // when one does and its companion -shm file cannot be made (its changes
    // could not be read, and reading without them would give an older price
    // list). The one exception is a write by another program that was cut
    // short: it is rolled back first, where the file can be written, and the
    // open is refused, naming the journal, where it cannot.
    static Result<Database> open(const std::string& path, const OpenOptions& options = {});

    // Copies the database file at source to a new file named destination as
    // one consistent picture: while the copy is made, a read lock keeps other
    // programs from committing half-way through it, and an SQLite database in
    // WAL mode is copied through the engine, since its main file alone would
    // miss committed pages. A journal left by an interrupted write is rolled
    // back first, and the result's rolledBack says so: the copy is of the
    // file as it was last completely saved. An Access database is copied
    // through plainCopy only when no other program has it open (its lock
    // file shows no user still there and no process holds a lock on it or
    // has it open; else the failure names the file and says to close the
    // salon application on every computer), and the copy is then checked
    // without reading the file a second time (see copyAccessFile): the
    // file's size and times must be as they were before the copy, and the
    // copy must read back whole, with the file's size and header. Anything
    // else is copied as it stands through plainCopy.
    // Like FileCopy, the copy has the permission bits and, where the process
    // may, the owner and group of source; it never replaces an existing
    // destination (NameTaken) and leaves nothing behind unless it returns
    // Copied.
    static CopyResult copyFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                               Progress* progress, const OpenOptions& options = {});

    // The kind of database the file at path holds, told by its first bytes
    // alone (a link is followed; anything but an ordinary file, and an empty
    // one, is not a database). Fails, naming the file and the system's
    // reason, when it cannot be opened or read.
    static Result<DatabaseFileKind> fileKind(const std::string& path);

    // Whether a run could write the file at path, as far as can be told
    // before it is opened, read or copied (nothing is written, nor a journal
    // beside it rolled back), so that a file no run could write is refused
    // before its backup copy is made. Fails (ReadOnly), with the text the
    // opened file's saveCheck() gives, when the file, or the folder that must
    // take the engine's journal or lock file, cannot be written, or an Access
    // lock file beside it cannot be written. Fails (Busy) when a write to an
    // SQLite file that was cut short left its journal where this user cannot
    // remove it (another user's journal in a folder where only its owner may
    // remove files): no run could read the file past it. That write is then
    // rolled back when this user may write the file, and the text names the
    // journal, its owner and what to do.
    static Status writeCheck(const std::string& path);
    // What the look for other programs that have the file at path open could
    // not see (AccessFileUsers::unchecked), for an Access file; empty when it
    // saw everything, and for other files, whose engine keeps writers apart
    // by its own locks.
    static std::string otherUsersUnchecked(const std::string& path);

    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    ~Database();

    const std::string& path() const { return m_path; }
    // The kind of the opened file, as its first bytes told it at the open.
    const DatabaseFileKind& kind() const { return m_kind; }
    bool isAccess() const { return m_kind.access; }
    // Success while the path still names the file that was opened. Fails,
    // naming the path, when the file has since been deleted, moved away or
    // replaced by another: writes through this connection would then go to a
    // file no one will ever open again.
    Status stillAtPath() const;
    // Success when records could be saved to the file as far as can be told
    // before trying: fails (ReadOnly) when the file could only be opened for
    // reading, or when the folder that must take the engine's journal beside
    // the file cannot be written. The text names the file and the reason.
    Status saveCheck() { return m_engine->saveCheck(); }
    // Success when new amounts could be saved in columns of table, as far as
    // the table's definition tells: fails (ReadOnly), with the reason, for a
    // table the engine refuses to write as a whole (an Access table whose
    // amounts are in an index, calculated, under a table validation rule or
    // data macros, or replicated; see AccessWriter), so that it is said
    // before the review instead of at every product of the apply.
    Status tableSaveCheck(const std::string& table, const std::vector<std::string>& columns)
    {
        return m_engine->tableSaveCheck(table, columns);
    }
    // For a file in WAL mode: copies everything written through this
    // connection from the write-ahead log into the opened file and empties
    // the log. Once the path names another file, an unemptied log beside it
    // would be replayed into that file by the next program to open it.
    // Nothing to do for other files.
    Status settleLog() { return m_engine->settleLog(); }
    // Takes now what the first save would take for saving (an Access file's
    // claim, which looks through every process for others using the file),
    // so that its cost falls where the caller waits anyway. Fails, naming the
    // file, as that save would; nothing is then held, and the save tries
    // again. Nothing to do for other files.
    Status beginSaves() { return m_engine->beginSaves(); }
    // Makes the saves made since the last flush durable: on the disk, and
    // read back as written. An Access save writes its record and starts it
    // on its way to the disk without waiting, so that the caller's next
    // work overlaps the disk's; it is waited for here, or by the next save,
    // which reads and checks its record first and flushes it before it
    // writes (one save at a time is on its way), or by endSaves(). A save
    // that succeeds has left only its own write on its way; one that failed
    // because that flush failed wrote nothing, and the failure is said here
    // as well. The failure (Io) names the record, as a save's does: the
    // record may then hold its old values or its new ones. Nothing to do for
    // other files, whose saves are durable when they return.
    Status flushSaves() { return m_engine->flushSaves(); }
    // Says that no more saves follow for now: what the engine holds for
    // saving is let go (an Access file's claim: its lock file entry and
    // locks), so that it is not left behind if the program is ended later
    // by a signal; a save still on its way is flushed first (without a
    // word: flushSaves() says how it went). A later save takes it again.
    void endSaves() { m_engine->endSaves(); }
    // Keeps every other writer out of the file until endHold(), so that what
    // it holds is what a comparison made meanwhile reads (through a new open
    // of the path: this one may serve what it read at its open). SQLite: a
    // write transaction (BEGIN IMMEDIATE) in which nothing is written,
    // waiting for another writer as long as a save does; Access: the claim,
    // as a save takes it. Fails, naming the file, as a save would (Busy when
    // another program has it).
    Status holdWrites() { return m_engine->holdWrites(); }
    // Ends holdWrites()'s hold; safe to call when none is held.
    void endHold();

    // Opens a table with the columns the caller will use. Fails when the table
    // or one of the columns does not exist, or the table cannot be read and
    // saved record by record (for SQLite: a WITHOUT ROWID table, or columns
    // named rowid, _rowid_ and oid all three hide the records' row id).
    Result<Recordset> openTable(const std::string& table, const std::vector<std::string>& columns);
    // Whether the table exists (letter case ignored).
    bool hasTable(const std::string& table) { return m_engine->hasTable(table); }
    // The named index of table. Fails when the table or the index does not
    // exist (NotFound), or the index is on an expression.
    Result<IndexInfo> index(const std::string& table, const std::string& index)
    {
        return m_engine->index(table, index);
    }
    // How many records table holds.
    Result<std::uint64_t> recordCount(const std::string& table) { return m_engine->recordCount(table); }

    // Holds one read transaction across many reads, so that a long walk with a
    // lookup per record takes the file's lock once instead of once per lookup.
    // Writes are not allowed while it is held. endRead() is safe to call when
    // no read is held.
    Status beginRead() { return m_engine->beginRead(); }
    void endRead();

    // The engine behind this file, for tools and benchmarks that measure it
    // (see sqliteHandle()); the program itself never needs it.
    DatabaseEngine& engine() const { return *m_engine; }

private:
    Database(std::string path, DatabaseFileKind kind, std::unique_ptr<DatabaseEngine> engine);

    std::string m_path;
    DatabaseFileKind m_kind;
    std::unique_ptr<DatabaseEngine> m_engine;
    // The opened file's identity (device and inode), 0 when unknown.
    unsigned long long m_device = 0;
    unsigned long long m_inode = 0;
};

} // namespace tarvex
