// Holding an Access database against other writers while Tarvex may write
// it, and registering in its lock file as Access does.
#include "platform/access/AccessFileClaim.h"

#include "platform/access/AccessLockFile.h"
#include "platform/db/DatabaseKind.h"
#include "platform/os/FileHolders.h"
#include "platform/os/StagedFile.h"
#include "platform/os/UserIdentity.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvex {

namespace {

std::string systemError(int error)
{
    return std::strerror(error);
}

// The kind of a failure to open or make a file for writing: ReadOnly when
// its permissions or the medium refuse it, Io for anything else.
ErrorKind writeErrorKind(int error)
{
    return error == EACCES || error == EPERM || error == EROFS ? ErrorKind::ReadOnly : ErrorKind::Io;
}

// Takes (or with F_UNLCK drops) an open-file-description lock of type on
// range through fd, without waiting. Returns 0 or the errno value: EAGAIN
// when another holds a conflicting lock.
int lockRange(int fd, ByteRange range, short type = F_WRLCK)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = range.start;
    lock.l_len = range.length;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

// Writes all of bytes at offset. Returns 0 or the errno value.
int writeAt(int fd, const std::string& bytes, off_t offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

AccessFileClaim::AccessFileClaim(std::string databasePath)
    : m_databasePath(std::move(databasePath))
{
}

AccessFileClaim::AccessFileClaim(AccessFileClaim&& other) noexcept
    : m_databasePath(std::move(other.m_databasePath))
    , m_database(other.m_database)
    , m_lockPath(std::move(other.m_lockPath))
    , m_lockFile(other.m_lockFile)
    , m_madeLockFile(other.m_madeLockFile)
    , m_slot(other.m_slot)
    , m_foundSize(other.m_foundSize)
    , m_foundEntry(std::move(other.m_foundEntry))
    , m_foundTimes{other.m_foundTimes[0], other.m_foundTimes[1]}
{
    other.m_database = -1;
    other.m_lockFile = -1;
    other.m_madeLockFile = false;
    other.m_slot = -1;
}

AccessFileClaim::~AccessFileClaim()
{
    release();
}

Result<AccessFileClaim> AccessFileClaim::take(const std::string& databasePath)
{
    AccessFileClaim claim(databasePath);
    // For writing: an exclusive lock needs it, and the writer will write.
    // O_NONBLOCK: a pipe put in the file's place must not make the open wait.
    claim.m_database = ::open(databasePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (claim.m_database < 0) {
        int error = errno;
        return Result<AccessFileClaim>::failure(databasePath + ": cannot open for writing: " + systemError(error),
                                                writeErrorKind(error));
    }
    struct stat info {};
    if (::fstat(claim.m_database, &info) != 0 || !S_ISREG(info.st_mode))
        return Result<AccessFileClaim>::failure(databasePath + ": not an ordinary file");
    // The database is locked first: from here on no copy of Access can open
    // it for writing, nor another Tarvex claim it, so nobody can come in
    // between the check below and the entry being written.
    if (int error = lockRange(claim.m_database, {0, kToEnd})) {
        if (error != EAGAIN && error != EACCES)
            return Result<AccessFileClaim>::failure(databasePath + ": cannot lock: " + systemError(error),
                                                    ErrorKind::Io);
        Result<AccessFileUsers> users = findAccessFileUsers(databasePath);
        if (!users.ok() || !users->anyone())
            return Result<AccessFileClaim>::failure(AccessFileUsers{{"another program"}, {}, {}}.message(databasePath),
                                                    ErrorKind::Busy);
        return Result<AccessFileClaim>::failure(users->message(databasePath), ErrorKind::Busy);
    }
    if (Status opened = claim.openLockFile(); !opened)
        return opened;
    Result<AccessFileUsers> users = claim.others();
    if (!users.ok())
        return users.status();
    if (users->anyone())
        return Result<AccessFileClaim>::failure(users->message(databasePath), ErrorKind::Busy);
    if (Status taken = claim.takeEntry(); !taken)
        return taken;
    return claim;
}

Status AccessFileClaim::openLockFile()
{
    Result<DatabaseKind> kind = databaseKind(m_databasePath);
    DatabaseKind lockKind = kind.ok() && *kind == DatabaseKind::Ace ? DatabaseKind::Ace : DatabaseKind::Jet4;
    // A lock file may be made or removed by its last user between looking
    // for it and opening it; then it is looked for again.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        std::vector<std::string> found = lockFilesBeside(m_databasePath, lockKind);
        if (found.empty()) {
            m_lockPath = lockFilePathFor(m_databasePath, lockKind);
            // O_EXCL with O_NOFOLLOW: made here, never opened through a file
            // or link that appeared meanwhile. Readable and writable by all
            // that the umask lets through, as every user of the database
            // writes in it.
            m_lockFile = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_lockFile >= 0) {
                m_madeLockFile = true;
                return Status::success();
            }
            if (errno == EEXIST)
                continue;
            int error = errno;
            return Status::failure(m_lockPath + ": cannot make the lock file: " + systemError(error),
                                   writeErrorKind(error));
        }
        m_lockPath = found.front();
        // O_NOFOLLOW: the entry is written into the lock file itself, never
        // through a link into another file.
        m_lockFile = ::open(m_lockPath.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (m_lockFile < 0 && errno == ENOENT)
            continue;
        if (m_lockFile < 0) {
            int error = errno;
            return Status::failure(m_lockPath + ": cannot open the lock file for writing: " + systemError(error),
                                   writeErrorKind(error));
        }
        struct stat info {};
        if (::fstat(m_lockFile, &info) != 0 || !S_ISREG(info.st_mode))
            return Status::failure(m_lockPath + ": not an ordinary file, so not a lock file Access could use");
        m_foundSize = info.st_size;
        m_foundTimes[0] = info.st_atim;
        m_foundTimes[1] = info.st_mtim;
        return Status::success();
    }
    return Status::failure(m_lockPath + ": the lock file keeps being made and removed by another program");
}

Status AccessFileClaim::takeEntry()
{
    // The first entry nobody holds, as Access takes one: a free one, a stale
    // one, or a new one at the end of the file.
    for (int slot = 0; slot < kLockFileMaxEntries; ++slot) {
        std::array<ByteRange, 2> ranges = slotLockRanges(slot);
        if (lockRange(m_lockFile, ranges[0]) != 0)
            continue;
        if (lockRange(m_lockFile, ranges[1]) != 0) {
            lockRange(m_lockFile, ranges[0], F_UNLCK);
            continue;
        }
        m_slot = slot;
        off_t offset = off_t{slot} * kLockFileEntryBytes;
        if (!m_madeLockFile) {
            m_foundEntry.assign(kLockFileEntryBytes, '\0');
            ssize_t n = ::pread(m_lockFile, m_foundEntry.data(), m_foundEntry.size(), offset);
            m_foundEntry.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        if (int error = writeAt(m_lockFile, lockFileEntry(computerName(), userName()), offset))
            return Status::failure(m_lockPath + ": cannot write to the lock file: " + systemError(error));
        return Status::success();
    }
    return Status::failure(m_lockPath + ": all " + std::to_string(kLockFileMaxEntries) +
                           " entries of the lock file are in use");
}

Result<AccessFileUsers> AccessFileClaim::others() const
{
    return findAccessFileUsers(m_databasePath, {m_database, m_lockFile});
}

void AccessFileClaim::putBackLockFile()
{
    off_t offset = off_t{m_slot} * kLockFileEntryBytes;
    if (m_madeLockFile) {
        // Removed only when nobody else has come into it (no lock on it but
        // the claim's) and its name still leads to it; otherwise only the
        // claim's entry goes.
        LockScan others = locksHeldOn(m_lockFile, {0, kToEnd}, 1);
        if (others.error == 0 && others.locks.empty() && sameFile(m_lockFile, m_lockPath))
            ::unlink(m_lockPath.c_str());
        else if (m_slot >= 0)
            writeAt(m_lockFile, std::string(kLockFileEntryBytes, '\0'), offset);
        return;
    }
    if (m_slot < 0)
        return;
    off_t entryEnd = offset + kLockFileEntryBytes;
    if (entryEnd > m_foundSize) {
        // The entry reached past the end of the file as found: that part
        // is cut off again, unless another user has written past it
        // meanwhile; where it is not cut off, it is blanked.
        struct stat now {};
        bool cutOff =
            ::fstat(m_lockFile, &now) == 0 && now.st_size == entryEnd && ::ftruncate(m_lockFile, m_foundSize) == 0;
        if (!cutOff)
            writeAt(m_lockFile, std::string(kLockFileEntryBytes, '\0'), offset);
    }
    writeAt(m_lockFile, m_foundEntry, offset);
    // The times too, so that the file looks as untouched as it is.
    ::futimens(m_lockFile, m_foundTimes);
}

void AccessFileClaim::release()
{
    // The lock file first, while the database is still locked: no copy of
    // Access can start in between and find it half put back.
    if (m_lockFile >= 0) {
        putBackLockFile();
        // Closing the descriptor drops the entry's locks.
        ::close(m_lockFile);
        m_lockFile = -1;
    }
    m_slot = -1;
    m_madeLockFile = false;
    if (m_database >= 0) {
        ::close(m_database);
        m_database = -1;
    }
}

} // namespace tarvex
