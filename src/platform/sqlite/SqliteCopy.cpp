// The consistent copy of an SQLite database file: the read lock through a
// connection of its own, and the choice between a plain file copy and SQLite's
// online backup.
#include "platform/sqlite/SqliteDatabase.h"

#include "platform/sqlite/SqliteStatement.h"
#include "platform/os/StagedFile.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvex {

namespace {

// The online backup copies this many bytes per step, so progress and a
// cancel are heard several times a second.
constexpr int kOnlineStepBytes = 2 << 20;

struct Connection {
    sqlite3* db = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }
    int close()
    {
        int rc = sqlite3_close(db);
        db = nullptr;
        return rc;
    }
};

// A read transaction on the file through a connection of its own. While it is
// held no other program can commit to a database in rollback-journal mode,
// and a database in WAL mode is read as one snapshot.
class ReadLock {
public:
    enum class State { Held, NotADatabase, Failed };

    ~ReadLock() { release(); }

    State take(const std::string& path, int busyTimeoutMs)
    {
        int rc = openAndRead(path, SQLITE_OPEN_READONLY, busyTimeoutMs);
        // A write that was interrupted (its program killed, the power cut)
        // leaves a journal that must be rolled back before the file can be
        // read, and only a connection that may write can do that: the first
        // read through one rolls it back, as in every SQLite program. The copy
        // is then taken of the recovered file.
        if (rc != SQLITE_OK && sqlite3_extended_errcode(m_connection.db) == SQLITE_READONLY_ROLLBACK) {
            rc = openAndRead(path, SQLITE_OPEN_READWRITE, busyTimeoutMs);
            if (rc == SQLITE_OK)
                m_rolledBack = true;
            else if (sqlite3_extended_errcode(m_connection.db) == SQLITE_READONLY_ROLLBACK) {
                m_error = path + ": cannot read the database to copy it: an interrupted write left its journal " +
                          path + "-journal, which cannot be rolled back: " + sqliteError(m_connection.db);
                return State::Failed;
            }
        }
        if ((rc & 0xff) == SQLITE_NOTADB)
            return State::NotADatabase;
        if (rc != SQLITE_OK) {
            m_error = path + ": cannot read the database to copy it: " + sqliteError(m_connection.db);
            return State::Failed;
        }
        return State::Held;
    }

    // Whether taking the lock rolled back an interrupted write.
    bool rolledBack() const { return m_rolledBack; }

    bool isWal() { return sqliteQueryText(m_connection.db, "PRAGMA main.journal_mode") == "wal"; }
    sqlite3* handle() const { return m_connection.db; }
    const std::string& error() const { return m_error; }

    void release()
    {
        if (m_connection.db)
            sqliteExecute(m_connection.db, "COMMIT");
        m_connection.close();
    }

private:
    // Opens path with flags and starts the read transaction. The first read
    // is what takes the lock (and finds out whether the file is a database at
    // all).
    int openAndRead(const std::string& path, int flags, int busyTimeoutMs)
    {
        m_connection.close();
        int rc = sqlite3_open_v2(path.c_str(), &m_connection.db, flags, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_connection.db, busyTimeoutMs);
            rc = sqliteExecute(m_connection.db, "BEGIN");
        }
        if (rc == SQLITE_OK)
            rc = sqliteExecute(m_connection.db, "SELECT count(*) FROM sqlite_schema");
        return rc;
    }

    Connection m_connection;
    std::string m_error;
    bool m_rolledBack = false;
};

// Copies the database held open by source (inside its read transaction)
// into a new file named destination with SQLite's online backup, with the
// permission bits and, where the process may, the owner and group of the
// file at sourcePath. The copy is left in rollback-journal mode, so it is one
// self-contained file.
CopyResult copyOnline(sqlite3* source, const std::string& sourcePath, const std::string& destination,
                      Progress* progress)
{
    using Outcome = CopyResult::Outcome;
    struct stat info {};
    if (::stat(sourcePath.c_str(), &info) != 0)
        return {Outcome::Failed, sourcePath + ": " + std::strerror(errno)};
    Result<StagedFile> staged = StagedFile::create(destination, info.st_mode, info.st_uid, info.st_gid);
    if (!staged)
        return {Outcome::Failed, staged.error()};

    Connection target;
    // The staged file exists and is empty, which SQLite reads as an empty
    // database; no flag to create, so nothing else is ever made at that name.
    if (sqlite3_open_v2(staged->path().c_str(), &target.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return {Outcome::Failed, staged->path() + ": " + sqliteError(target.db)};
    // The staged file is flushed to disk as a whole before it gets its name.
    sqliteExecute(target.db, "PRAGMA synchronous = OFF");

    sqlite3_backup* backup = sqlite3_backup_init(target.db, "main", source, "main");
    if (!backup)
        return {Outcome::Failed, staged->path() + ": " + sqliteError(target.db)};
    std::uint64_t pageSize = 0;
    {
        std::string text = sqliteQueryText(source, "PRAGMA main.page_size");
        pageSize = text.empty() ? 4096 : std::stoull(text);
    }
    const int pagesPerStep = std::max(1, static_cast<int>(kOnlineStepBytes / std::max<std::uint64_t>(pageSize, 512)));
    bool cancelled = false;
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(backup, pagesPerStep);
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            break;
        std::uint64_t total = static_cast<std::uint64_t>(sqlite3_backup_pagecount(backup)) * pageSize;
        std::uint64_t left = static_cast<std::uint64_t>(sqlite3_backup_remaining(backup)) * pageSize;
        if (progress && !progress->update(total - left, total)) {
            cancelled = true;
            break;
        }
        if (rc == SQLITE_DONE)
            break;
    }
    int finished = sqlite3_backup_finish(backup);
    if (cancelled)
        return {Outcome::Cancelled, sourcePath + ": the copy was cancelled"};
    if (rc != SQLITE_DONE || finished != SQLITE_OK) {
        // SQLite says only "disk I/O error"; the system's reason (a full
        // disk, a file too large) is what the user can act on.
        std::string reason = sqliteError(target.db);
        if (int error = sqlite3_system_errno(target.db))
            reason += " (" + std::string(std::strerror(error)) + ")";
        return {Outcome::Failed, staged->path() + ": cannot copy " + sourcePath + ": " + reason};
    }

    // The pages carry the source's WAL mark; turn the copy back into a plain
    // single file so that it opens without companions.
    if (sqliteQueryText(target.db, "PRAGMA main.journal_mode") == "wal" &&
        sqliteQueryText(target.db, "PRAGMA main.journal_mode = DELETE") != "delete")
        return {Outcome::Failed, staged->path() + ": cannot finish the copy: " + sqliteError(target.db)};
    if (target.close() != SQLITE_OK)
        return {Outcome::Failed, staged->path() + ": cannot finish the copy"};

    // The copy was written through its name; make sure that name still leads
    // to the file this run created before publishing it.
    struct stat byName {
    }, byHandle{};
    if (::lstat(staged->path().c_str(), &byName) != 0 || ::fstat(staged->fd(), &byHandle) != 0 ||
        byName.st_ino != byHandle.st_ino || byName.st_dev != byHandle.st_dev)
        return {Outcome::Failed, staged->path() + ": the file was replaced while the copy was written"};

    StagedFile::Committed committed = staged->commit(destination);
    if (!committed.status)
        return {committed.nameTaken ? Outcome::NameTaken : Outcome::Failed, committed.status.error()};
    return {Outcome::Copied, {}};
}

} // namespace

CopyResult SqliteDatabase::copyFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                                    Progress* progress, const OpenOptions& options)
{
    ReadLock lock;
    ReadLock::State state = lock.take(source, options.busyTimeoutMs);
    CopyResult copied;
    if (state == ReadLock::State::Failed) {
        copied = {CopyResult::Outcome::Failed, lock.error()};
    } else if (state == ReadLock::State::NotADatabase) {
        lock.release();
        copied = plainCopy.copy(source, destination, progress);
    } else if (lock.isWal()) {
        copied = copyOnline(lock.handle(), source, destination, progress);
    } else {
        // The plain copy closes its own handle on the file at the end, which
        // ends this process's locks on it: the lock is taken afresh for every
        // copy.
        copied = plainCopy.copy(source, destination, progress);
    }
    copied.rolledBack = lock.rolledBack();
    return copied;
}

} // namespace tarvex
