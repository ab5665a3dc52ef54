// Making the start-up backup copy: the check that the file is a database, the
// lock, the choice between a plain file copy and SQLite's online backup, and
// the name.
#include "startup/BackupCopy.h"

#include "platform/Database.h"
#include "platform/DatabaseKind.h"
#include "platform/StagedFile.h"
#include "startup/BackupName.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace tarvex {

namespace {

// How many names are tried when the chosen one is taken between the look and
// the rename (another run finishing its copy in the same second).
constexpr int kNameAttempts = 100;
// The online backup copies this many bytes per step, so progress and a
// cancel are heard several times a second.
constexpr int kOnlineStepBytes = 2 << 20;

int execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// One text value of a statement's first row, empty when none.
std::string queryText(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    std::string text;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
        sqlite3_column_text(stmt, 0))
        text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return text;
}

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

// A read transaction on the host file through a connection of its own. While
// it is held no other program can commit to a database in rollback-journal
// mode, and a database in WAL mode is read as one snapshot.
class ReadLock {
public:
    enum class State { Held, NotADatabase, Failed };

    State take(const std::string& path)
    {
        int rc = openAndRead(path, SQLITE_OPEN_READONLY);
        // A write that was interrupted (its program killed, the power cut)
        // leaves a journal that must be rolled back before the file can be
        // read, and only a connection that may write can do that: the first
        // read through one rolls it back, as in every SQLite program. The copy
        // is then taken of the recovered file.
        if (rc != SQLITE_OK && sqlite3_extended_errcode(m_connection.db) == SQLITE_READONLY_ROLLBACK) {
            rc = openAndRead(path, SQLITE_OPEN_READWRITE);
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

    bool isWal() { return queryText(m_connection.db, "PRAGMA main.journal_mode") == "wal"; }
    sqlite3* handle() const { return m_connection.db; }
    const std::string& error() const { return m_error; }

    void release()
    {
        if (m_connection.db)
            execute(m_connection.db, "COMMIT");
        m_connection.close();
    }

private:
    // Opens path with flags and starts the read transaction. The first read
    // is what takes the lock (and finds out whether the file is a database at
    // all).
    int openAndRead(const std::string& path, int flags)
    {
        m_connection.close();
        int rc = sqlite3_open_v2(path.c_str(), &m_connection.db, flags, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_connection.db, Database::kBusyTimeoutMs);
            rc = execute(m_connection.db, "BEGIN");
        }
        if (rc == SQLITE_OK)
            rc = execute(m_connection.db, "SELECT count(*) FROM sqlite_schema");
        return rc;
    }

    Connection m_connection;
    std::string m_error;
    bool m_rolledBack = false;
};

// Copies the database held open by source (inside its read transaction)
// into a new file named destination with SQLite's online backup, with the
// permission bits and, where the process may, the owner and group of host.
// The copy is left in rollback-journal mode, so it is one self-contained file.
CopyResult copyOnline(sqlite3* source, const std::string& hostPath, const std::string& destination,
                      const struct stat& host, Progress* progress)
{
    using Outcome = CopyResult::Outcome;
    Result<StagedFile> staged = StagedFile::create(destination, host.st_mode, host.st_uid, host.st_gid);
    if (!staged)
        return {Outcome::Failed, staged.error()};

    Connection target;
    // The staged file exists and is empty, which SQLite reads as an empty
    // database; no flag to create, so nothing else is ever made at that name.
    if (sqlite3_open_v2(staged->path().c_str(), &target.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return {Outcome::Failed, staged->path() + ": " + sqliteError(target.db)};
    // The staged file is flushed to disk as a whole before it gets its name.
    execute(target.db, "PRAGMA synchronous = OFF");

    sqlite3_backup* backup = sqlite3_backup_init(target.db, "main", source, "main");
    if (!backup)
        return {Outcome::Failed, staged->path() + ": " + sqliteError(target.db)};
    std::uint64_t pageSize = 0;
    {
        std::string text = queryText(source, "PRAGMA main.page_size");
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
        return {Outcome::Cancelled, hostPath + ": the copy was cancelled"};
    if (rc != SQLITE_DONE || finished != SQLITE_OK) {
        // SQLite says only "disk I/O error"; the system's reason (a full
        // disk, a file too large) is what the user can act on.
        std::string reason = sqliteError(target.db);
        if (int error = sqlite3_system_errno(target.db))
            reason += " (" + std::string(std::strerror(error)) + ")";
        return {Outcome::Failed, staged->path() + ": cannot copy " + hostPath + ": " + reason};
    }

    // The pages carry the source's WAL mark; turn the copy back into a plain
    // single file so that it opens without companions.
    if (queryText(target.db, "PRAGMA main.journal_mode") == "wal" &&
        queryText(target.db, "PRAGMA main.journal_mode = DELETE") != "delete")
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

    bool nameTaken = false;
    Status committed = staged->commit(destination, nameTaken);
    if (!committed)
        return {nameTaken ? Outcome::NameTaken : Outcome::Failed, committed.error()};
    return {Outcome::Copied, {}};
}

// Removes the copies that earlier runs were writing beside the host when
// they stopped (a power cut, a kill) and that no running program still
// writes: only files of exactly the names a backup is staged under, which
// hold a lock while they are written. Everything else is left alone, and a
// folder that cannot be read is simply not cleaned.
void removeAbandonedCopies(const std::string& hostPath)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(hostPath), ec)) {
        std::string name = entry.path().filename().string();
        std::optional<std::string> destination = StagedFile::destinationOf(name);
        if (destination && BackupName::isCandidateName(hostPath, *destination))
            StagedFile::removeIfAbandoned(entry.path().string());
    }
}

} // namespace

BackupCopy::BackupCopy(FileCopy& fileCopy, Prompter& prompter)
    : m_fileCopy(fileCopy)
    , m_prompter(prompter)
{
}

BackupResult BackupCopy::make(const std::string& hostPath, const std::tm& when)
{
    using Outcome = BackupResult::Outcome;
    struct stat info {};
    if (::stat(hostPath.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {Outcome::NothingToBackUp, {}, hostPath + ": no such file"};
        return {Outcome::Failed, {}, hostPath + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(info.st_mode))
        return {Outcome::NothingToBackUp, {}, hostPath + ": not a file"};
    Result<DatabaseKind> kind = databaseKind(hostPath);
    if (!kind)
        return {Outcome::Failed, {}, kind.error()};
    if (*kind == DatabaseKind::NotADatabase)
        return {Outcome::NotADatabase,
                {},
                hostPath + (info.st_size == 0 ? ": the file is empty (0 bytes), not a database"
                                              : ": not a database file (neither an SQLite nor an Access database)")};

    removeAbandonedCopies(hostPath);
    std::unique_ptr<Progress> progress = m_prompter.beginProgress("Backup Data", "Copying " + hostPath, true);
    int attempt = 1;
    bool rolledBack = false;
    for (int tries = 0; tries < kNameAttempts; ++tries, ++attempt) {
        // Taken afresh for each attempt: the plain copy closes its own handle
        // on the file, which ends this process's locks on it.
        ReadLock lock;
        ReadLock::State state = lock.take(hostPath);
        if (state == ReadLock::State::Failed)
            return {Outcome::Failed, {}, lock.error()};
        rolledBack = rolledBack || lock.rolledBack();
        if (state == ReadLock::State::NotADatabase)
            lock.release();

        std::string destination = BackupName::firstFree(hostPath, when, &BackupName::isTaken, attempt);
        CopyResult copied = state == ReadLock::State::Held && lock.isWal()
                                ? copyOnline(lock.handle(), hostPath, destination, info, progress.get())
                                : m_fileCopy.copy(hostPath, destination, progress.get());
        lock.release();
        switch (copied.outcome) {
        case CopyResult::Outcome::Copied:
            return {Outcome::Made, destination, {}, rolledBack};
        case CopyResult::Outcome::Cancelled:
            return {Outcome::Cancelled, {}, copied.error};
        case CopyResult::Outcome::Failed:
            return {Outcome::Failed, {}, copied.error};
        case CopyResult::Outcome::NameTaken:
            break;
        }
    }
    return {Outcome::Failed, {}, hostPath + ": no free name for the backup copy"};
}

} // namespace tarvex
