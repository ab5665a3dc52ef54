// Finding, creating and opening a host's run record, and moving aside a file
// at its name that is not a sound run record.
#include "data/history/RunRecordFile.h"

#include "data/history/RunRecordSchema.h"
#include "platform/Database.h"
#include "platform/os/StagedFile.h"
#include "platform/sqlite/SqliteStatement.h"
#include "platform/text/TextHelpers.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvex {

namespace {

// How many names are tried for a file moved aside before giving up.
constexpr int kAsideAttempts = 100;
// The files SQLite keeps beside a database, moved aside with it: a journal
// left at the record's name would otherwise be played into the new record.
constexpr const char* kCompanions[] = {"-journal", "-wal", "-shm"};

// Sets (F_OFD_SETLK, without waiting; type F_WRLCK, or F_UNLCK to drop it)
// or asks about (F_OFD_GETLK) the lock of run through fd. Returns 0 or the
// errno value; asked, type becomes what holds it (F_UNLCK: nothing).
int runLock(int fd, std::int64_t run, int command, short& type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(schema::kRunLockBase + run);
    lock.l_len = 1;
    if (::fcntl(fd, command, &lock) != 0)
        return errno;
    type = lock.l_type;
    return 0;
}

// Whether an SQLite result says the file is not a sound database.
bool isDamage(int rc)
{
    return (rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT;
}

// The file at path as a check finds it: identity, size, times, and the change
// counter of its SQLite header (bytes 24-27), which every commit changes.
// Empty when it cannot be read.
std::optional<RunRecordCheck> stateOf(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    unsigned char counter[4] = {};
    bool read = ::fstat(fd, &info) == 0 && ::pread(fd, counter, sizeof counter, 24) == sizeof counter;
    ::close(fd);
    if (!read)
        return std::nullopt;
    auto ns = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
    return RunRecordCheck{static_cast<std::uint64_t>(info.st_dev),
                          static_cast<std::uint64_t>(info.st_ino),
                          static_cast<std::int64_t>(info.st_size),
                          ns(info.st_mtim),
                          ns(info.st_ctim),
                          std::uint32_t{counter[0]} << 24 | std::uint32_t{counter[1]} << 16 |
                              std::uint32_t{counter[2]} << 8 | counter[3]};
}

// The whole file checked: its pages, its indexes against its tables, its NOT
// NULL columns, and then its CHECK constraints, all rows of a table in one
// statement (schema::kRunRecordChecks) rather than by SQLite's check row by
// row. "ok", or what was found; the code says when it could not be read.
// Empty when the constraints could not be enforced again afterwards.
std::optional<SqliteQueryResult> checkWhole(sqlite3* raw)
{
    SqliteQueryResult check{};
    if (sqliteExecute(raw, "PRAGMA ignore_check_constraints = ON") != SQLITE_OK) {
        check.code = sqlite3_errcode(raw);
        return check;
    }
    check = sqliteQuery(raw, "PRAGMA integrity_check(1)");
    // Every write keeps its constraints checked.
    if (sqliteExecute(raw, "PRAGMA ignore_check_constraints = OFF") != SQLITE_OK)
        return std::nullopt;
    if (check.code == SQLITE_OK && check.text == "ok")
        check = sqliteQuery(raw, schema::kRunRecordChecks);
    return check;
}

// What the first 100 bytes of a file (the SQLite header) say it is.
enum class Header { Ours, NotSqlite, Foreign };

// The kind of the file at path by its header. Fails with the system's reason
// alone when the file cannot be opened or read.
Result<Header> readHeader(const std::string& path)
{
    // Read before SQLite opens the file: SQLite would play a journal left
    // beside another program's file into it, and a file that is not ours is
    // never changed.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Result<Header>::failure(std::strerror(errno));
    unsigned char header[100];
    std::size_t got = 0;
    while (got < sizeof header) {
        ssize_t n = ::read(fd, header + got, sizeof header - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            return Result<Header>::failure(std::strerror(error));
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got < sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)
        return Header::NotSqlite;
    // The application id: a big-endian 32-bit number at offset 68.
    std::uint32_t id = (std::uint32_t{header[68]} << 24) | (std::uint32_t{header[69]} << 16) |
                       (std::uint32_t{header[70]} << 8) | std::uint32_t{header[71]};
    return id == static_cast<std::uint32_t>(schema::kRunRecordApplicationId) ? Header::Ours : Header::Foreign;
}

// The time stamp of a name for a file moved aside, YYYYMMDD-hhmmss local.
std::string asideStamp()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Moves the file at path, and SQLite's files beside it, to a new name that
// takes nothing's place, and returns the text telling the user. reason says
// what is wrong with the file.
Status setAside(const std::string& path, const std::string& reason)
{
    std::string stamp = asideStamp();
    for (int attempt = 1; attempt <= kAsideAttempts; ++attempt) {
        // Appended piece by piece: GCC 12 takes "-" + a string for an
        // overlapping copy when optimising (a false -Wrestrict).
        std::string aside = path + ".damaged-" + stamp;
        if (attempt > 1) {
            aside += '-';
            aside += std::to_string(attempt);
        }
        int error = renameNoReplace(path, aside);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return Status::failure(path + ": " + reason + ", and it could not be moved aside: " + std::strerror(error) +
                                   ". Nothing was written to it.");
        for (const char* companion : kCompanions)
            renameNoReplace(path + companion, aside + companion);
        return Status::failure(path + ": " + reason + ". It was moved aside, unchanged, to " + aside +
                               "; the next run starts a new run record.");
    }
    return Status::failure(path + ": " + reason + ", and it could not be moved aside: too many files named " + path +
                           ".damaged-" + stamp + " already exist. Nothing was written to it.");
}

// Opens path as an SQLite database without creating it, with the settings
// every connection to a run record uses.
int openConnection(const std::string& path, int flags, sqlite3*& db)
{
    int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    // Another run's lock is waited for as long as a database waits by default.
    sqlite3_busy_timeout(db, OpenOptions{}.busyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    return SQLITE_OK;
}

// Makes the record at path, whole or not at all, with host's permission bits
// and, where the process may, its owner and group. A record made meanwhile by
// another run at the same name is left as it is and used.
Status create(const std::string& path, const struct stat& host)
{
    auto failed = [&](const std::string& why) {
        return Status::failure(path + ": the run record cannot be created: " + why);
    };
    Result<StagedFile> staged = StagedFile::create(path, host.st_mode);
    if (!staged)
        return failed(staged.error());
    // The host's owner and group, so that whoever may write the host may
    // write its record, when the process may give them (it runs as root);
    // else at least the group, when it is one of the process's own. Neither
    // is a reason to stop: the permission bits alone already follow the host.
    if (::fchown(staged->fd(), host.st_uid, host.st_gid) != 0 &&
        ::fchown(staged->fd(), static_cast<uid_t>(-1), host.st_gid) != 0) {
        // Neither: the record stays the process's user's and group's.
    }
    // A change of owner may drop permission bits; set them again.
    ::fchmod(staged->fd(), host.st_mode & 0777);

    sqlite3* db = nullptr;
    // The staged file exists and is empty, which SQLite reads as an empty
    // database; no flag to create, so nothing else is ever made at that name.
    int rc = openConnection(staged->path(), SQLITE_OPEN_READWRITE, db);
    std::string script = std::string("PRAGMA synchronous = OFF; BEGIN;") + schema::kRunRecord +
                         "PRAGMA application_id = " + std::to_string(schema::kRunRecordApplicationId) +
                         "; PRAGMA user_version = " + std::to_string(schema::kRunRecordVersion) + "; COMMIT;";
    if (rc == SQLITE_OK)
        rc = sqliteExecute(db, script.c_str());
    std::string error = rc == SQLITE_OK ? "" : sqliteError(db);
    // sqlite3_close (not _v2) fails while a statement is open, so the file is
    // never named with a write of it unfinished.
    if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK) {
        rc = SQLITE_ERROR;
        error = "cannot finish writing the file";
    }
    if (rc != SQLITE_OK)
        return failed(error);
    // The staged file is flushed to disk as a whole before it is named.
    StagedFile::Committed committed = staged->commit(path);
    if (!committed.status && !committed.nameTaken)
        return failed(committed.status.error());
    return Status::success();
}

} // namespace

void RunRecordFile::Closer::operator()(sqlite3* db) const
{
    sqlite3_close_v2(db);
}

RunRecordFile::LockHolder::LockHolder(LockHolder&& other) noexcept
    : fd(std::exchange(other.fd, -1))
    , writable(other.writable)
{
}

RunRecordFile::LockHolder& RunRecordFile::LockHolder::operator=(LockHolder&& other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            ::close(fd);
        fd = std::exchange(other.fd, -1);
        writable = other.writable;
    }
    return *this;
}

RunRecordFile::LockHolder::~LockHolder()
{
    if (fd >= 0)
        ::close(fd);
}

int RunRecordFile::holdRun(std::int64_t run)
{
    // Opened by open() only; a record opened for reading holds no run.
    if (!m_locks.writable)
        return EBADF;
    short type = F_WRLCK;
    int error = runLock(m_locks.fd, run, F_OFD_SETLK, type);
    return error == EACCES ? EAGAIN : error;
}

bool RunRecordFile::heldElsewhere(std::int64_t run)
{
    if (m_locks.fd < 0) {
        // Asking about a lock needs no right to write.
        m_locks.fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (m_locks.fd < 0)
            return false;
    }
    short type = F_WRLCK;
    return runLock(m_locks.fd, run, F_OFD_GETLK, type) == 0 && type != F_UNLCK;
}

void RunRecordFile::letGo(std::int64_t run)
{
    if (m_held.erase(run) == 0 || m_locks.fd < 0)
        return;
    short type = F_UNLCK;
    runLock(m_locks.fd, run, F_OFD_SETLK, type);
}

RunRecordFile::RunRecordFile(std::string path, sqlite3* db)
    : m_path(std::move(path))
    , m_db(db)
{
}

RunRecordFile::RunRecordFile(RunRecordFile&&) noexcept = default;
RunRecordFile& RunRecordFile::operator=(RunRecordFile&&) noexcept = default;
RunRecordFile::~RunRecordFile() = default;

std::string RunRecordFile::pathFor(const std::string& hostPath)
{
    return hostPath + "_TarvexHistory";
}

Result<RunRecordFile> RunRecordFile::open(const std::string& hostPath, const std::optional<RunRecordCheck>& checked)
{
    using R = Result<RunRecordFile>;
    struct stat host {};
    if (::stat(hostPath.c_str(), &host) != 0)
        return R::failure(hostPath + ": cannot read: " + std::strerror(errno));
    std::string path = pathFor(hostPath);

    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return R::failure(path + ": the run record cannot be read: " + std::strerror(errno));
        if (Status created = create(path, host); !created)
            return R(created);
    } else if (!S_ISREG(info.st_mode)) {
        return R::failure(path + ": is not a file, so no run record can be kept there");
    }

    Result<Header> header = readHeader(path);
    if (!header)
        return R::failure(path + ": the run record cannot be read: " + header.error());
    switch (*header) {
    case Header::NotSqlite:
        return R(setAside(path, "is not a Tarvex run record (it is not an SQLite database)"));
    case Header::Foreign:
        return R(setAside(path, "is not a Tarvex run record (it is another program's SQLite database)"));
    case Header::Ours:
        break;
    }

    sqlite3* raw = nullptr;
    int rc = openConnection(path, SQLITE_OPEN_READWRITE, raw);
    RunRecordFile record(path, raw);
    auto damaged = [&](const std::string& why) {
        // Closed first: the file is renamed while no connection holds it.
        record.m_db.reset();
        return R(setAside(path, "is damaged (" + why + ")"));
    };
    if (rc != SQLITE_OK)
        return R::failure(record.failure("the run record cannot be opened"));
    // The first read finds a hot journal left by a crash and plays it back,
    // which is what a crash in the middle of a write needs.
    SqliteQueryResult version = sqliteQuery(raw, "PRAGMA user_version");
    if (isDamage(version.code))
        return damaged(sqliteError(raw));
    if (version.code != SQLITE_OK)
        return R::failure(record.failure("the run record cannot be read"));
    if (std::atoi(version.text.c_str()) > schema::kRunRecordVersion)
        return R::failure(path + ": the run record was made by a newer version of Tarvex (format " + version.text +
                          "); it is left as it is, and this version cannot add to it");
    if (std::atoi(version.text.c_str()) != schema::kRunRecordVersion)
        return damaged("format " + version.text + " is not one Tarvex ever wrote");
    // The whole file is checked before anything is written to it, unless a
    // check found it sound as it still is: the check reads every page, and
    // the record grows with every run.
    if (!checked || stateOf(path) != *checked) {
        std::optional<SqliteQueryResult> check = checkWhole(raw);
        if (!check)
            return R::failure(record.failure("the run record cannot be set up"));
        if (isDamage(check->code))
            return damaged(sqliteError(raw));
        if (check->code != SQLITE_OK)
            return R::failure(record.failure("the run record cannot be read"));
        if (check->text != "ok")
            return damaged(check->text);
    }

    if (sqlite3_db_readonly(raw, "main") == 1)
        return R::failure(path + ": the run record can only be opened for reading, so this run could not be "
                                 "recorded");
    std::string folder = folderOf(path);
    // The journal of every write is made beside the file.
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return R::failure(path + ": its folder " + folder + " cannot be written (" + std::strerror(errno) +
                          "), so this run could not be recorded");
    // Each write is on disk, and its journal gone for good, when its
    // transaction ends: EXTRA also flushes the folder after the journal is
    // deleted, so a power cut cannot bring the journal back to undo it.
    if (sqliteExecute(raw, "PRAGMA journal_mode = DELETE") != SQLITE_OK ||
        sqliteExecute(raw, "PRAGMA synchronous = EXTRA") != SQLITE_OK ||
        sqliteExecute(raw, "PRAGMA foreign_keys = ON") != SQLITE_OK)
        return R::failure(record.failure("the run record cannot be set up"));
    // Opened now, while no transaction is open, and closed only with the
    // object (see LockHolder). A write lock needs a descriptor open for
    // writing; nothing is written through it.
    record.m_locks.fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (record.m_locks.fd < 0)
        return R::failure(path + ": the run record cannot be opened for writing: " + std::strerror(errno));
    record.m_locks.writable = true;
    return record;
}

Status RunRecordFile::writeCheck(const std::string& hostPath)
{
    std::string path = pathFor(hostPath);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return Status::failure(path + ": the run record cannot be read: " + std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        return Status::failure(path + ": is not a file, so no run record can be kept there");
    } else if (::access(path.c_str(), R_OK) != 0) {
        return Status::failure(path + ": the run record cannot be read: " + std::strerror(errno));
    } else if (::access(path.c_str(), W_OK) != 0) {
        return Status::failure(path + ": the run record can only be opened for reading, so this run could not be "
                                      "recorded");
    }
    std::string folder = folderOf(path);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return Status::failure(path + ": its folder " + folder + " cannot be written (" + std::strerror(errno) +
                               "), so this run could not be recorded");
    return Status::success();
}

std::optional<RunRecordCheck> RunRecordFile::checkForReading(const std::string& hostPath)
{
    Result<RunRecordFile> record = openForReading(hostPath);
    if (!record || !record->m_db)
        return std::nullopt;
    // The same before and after: nothing wrote to the file meanwhile, so
    // what was checked is the file as it stands.
    std::optional<RunRecordCheck> before = stateOf(record->m_path);
    std::optional<SqliteQueryResult> check = checkWhole(record->m_db.get());
    std::optional<RunRecordCheck> after = stateOf(record->m_path);
    if (!before || !check || check->code != SQLITE_OK || check->text != "ok" || before != after)
        return std::nullopt;
    return before;
}

Result<RunRecordFile> RunRecordFile::openForReading(const std::string& hostPath)
{
    using R = Result<RunRecordFile>;
    std::string path = pathFor(hostPath);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return RunRecordFile(path, nullptr);
        return R::failure(path + ": the run record cannot be read: " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode))
        return R::failure(path + ": is not a file, so it holds no run record");
    Result<Header> header = readHeader(path);
    if (!header)
        return R::failure(path + ": the run record cannot be read: " + header.error());
    switch (*header) {
    case Header::NotSqlite:
    case Header::Foreign:
        return R::failure(path + ": is not a Tarvex run record; the next run will move it aside");
    case Header::Ours:
        break;
    }
    sqlite3* raw = nullptr;
    int rc = openConnection(path, SQLITE_OPEN_READONLY, raw);
    RunRecordFile record(path, raw);
    if (rc != SQLITE_OK)
        return R::failure(record.failure("the run record cannot be opened"));
    SqliteQueryResult version = sqliteQuery(raw, "PRAGMA user_version");
    // A journal left by a run stopped in the middle of a write must be played
    // back first, which only a connection that may write does.
    if (version.code == SQLITE_READONLY_ROLLBACK)
        return R::failure(path + ": the run record was left in the middle of a change by a run that stopped; the "
                                 "next run on this host puts it right, and it can be read after that");
    if (version.code != SQLITE_OK)
        return R::failure(record.failure("the run record cannot be read"));
    if (std::atoi(version.text.c_str()) != schema::kRunRecordVersion)
        return R::failure(path + ": the run record is in format " + version.text +
                          ", which this version of Tarvex "
                          "cannot read");
    return record;
}

std::string RunRecordFile::failure(const std::string& what) const
{
    std::string text = m_path + ": " + what + ": " + sqliteError(m_db.get());
    // SQLite says "disk I/O error" for most failures of the system; the
    // system's own reason tells the user what to do about it.
    // A write cut short (a file size limit) leaves it only with the file.
    int error = m_db ? sqlite3_system_errno(m_db.get()) : 0;
    if (error == 0 && m_db)
        sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_LAST_ERRNO, &error);
    if (error != 0)
        text += std::string(" (") + std::strerror(error) + ")";
    return text;
}

} // namespace tarvex
