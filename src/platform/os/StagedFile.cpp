// Writing a file under a temporary name and publishing it without replacing
// anything.
#include "platform/os/StagedFile.h"

#include "platform/text/TextHelpers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

// How many temporary names are tried before giving up: each taken one was
// left by an interrupted run or planted by someone else.
constexpr int kStagingAttempts = 100;

std::string systemError(int error)
{
    return std::strerror(error);
}

// Flushes a folder's entries, so that a rename survives a power cut.
bool syncFolder(const std::string& folder)
{
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    bool ok = ::fsync(dir) == 0 || errno == EINVAL;
    ::close(dir);
    return ok;
}

} // namespace

int renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    // Uses link-then-unlink where the file system cannot rename without
    // replacing.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
}

namespace {

// Gives the file the owner and group asked for, as far as the process may.
// A refusal is no failure: the copy then belongs to whoever made it, as any
// copy a user makes does. The permission bits stay as they were set: only
// the set-user and set-group bits, which a staged file never has, are
// cleared by a change of owner.
void giveOwner(int fd, uid_t owner, gid_t group)
{
    if (owner == uid_t(-1) && group == gid_t(-1))
        return;
    if (::fchown(fd, owner, group) == 0 || errno != EPERM || group == gid_t(-1))
        return;
    // Not root: a file's owner may still give it one of its own groups. A
    // group that is not one of them leaves the process's own, as above.
    if (::fchown(fd, uid_t(-1), group) != 0)
        return;
}

} // namespace

bool sameFile(int fd, const std::string& path)
{
    struct stat byName {
    }, byHandle{};
    return ::lstat(path.c_str(), &byName) == 0 && ::fstat(fd, &byHandle) == 0 && byName.st_ino == byHandle.st_ino &&
           byName.st_dev == byHandle.st_dev;
}

StagedFile::StagedFile(int fd, std::string path, uid_t owner, gid_t group)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_owner(owner)
    , m_group(group)
{
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : m_fd(other.m_fd)
    , m_path(std::move(other.m_path))
    , m_owner(other.m_owner)
    , m_group(other.m_group)
    , m_done(other.m_done)
{
    other.m_fd = -1;
    other.m_done = true;
}

StagedFile::~StagedFile()
{
    discard();
}

Result<StagedFile> StagedFile::create(const std::string& destination, mode_t mode, uid_t owner, gid_t group)
{
    for (int attempt = 1; attempt <= kStagingAttempts; ++attempt) {
        std::string path = destination + ".part" + (attempt == 1 ? "" : std::to_string(attempt));
        // O_EXCL with O_NOFOLLOW: a file or a link (even a dangling one)
        // already at the name makes the open fail instead of writing through it.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Result<StagedFile>::failure(path + ": cannot create: " + systemError(errno));
        }
        // Locked before anything is written, so that another run's clean-up
        // leaves it alone. That clean-up may have locked it first, between
        // the create and this lock, to remove it: then this name is given up
        // (the clean-up removes the file) and the next one tried. Where the
        // file system has no such locks the file stays unlocked, and a
        // clean-up, unable to lock it either, leaves it alone.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            continue;
        }
        if (!sameFile(fd, path)) {
            ::close(fd);
            continue;
        }
        StagedFile file(fd, path, owner, group);
        if (::fchmod(fd, mode & 0777) != 0)
            return Result<StagedFile>::failure(path + ": cannot set permissions: " + systemError(errno));
        return file;
    }
    return Result<StagedFile>::failure(destination + ".part: too many temporary files of that name already exist in " +
                                       folderOf(destination));
}

Status StagedFile::write(std::string_view text)
{
    for (std::size_t done = 0; done < text.size();) {
        ssize_t put = ::write(m_fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return Status::failure(destinationOf(m_path).value_or(m_path) +
                                   ": cannot be written: " + systemError(errno));
        done += static_cast<std::size_t>(put);
    }
    return Status::success();
}

Status StagedFile::finishWriting()
{
    if (m_done || m_fd < 0)
        return Status::failure(m_path + ": no file to commit");
    // Only now that it is complete: until then the file is the process's
    // alone, and nobody else can change what is being written into it.
    giveOwner(m_fd, m_owner, m_group);
    if (::fsync(m_fd) != 0)
        return Status::failure(m_path + ": cannot write to disk: " + systemError(errno));
    return Status::success();
}

StagedFile::Committed StagedFile::commit(const std::string& destination)
{
    if (Status finished = finishWriting(); !finished.ok())
        return {finished};
    // Renamed while still open: its lock keeps other runs' clean-up away from
    // it until it has its final name.
    if (int error = renameNoReplace(m_path, destination))
        return {Status::failure(destination + ": cannot name the copy: " + systemError(error)), error == EEXIST};
    m_done = true;
    int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0) {
        int error = errno;
        ::unlink(destination.c_str());
        return {Status::failure(m_path + ": cannot write to disk: " + systemError(error))};
    }
    if (!syncFolder(folderOf(destination))) {
        // A copy whose name may vanish in a power cut is not a backup one can
        // count on: take it back rather than leave a doubtful file.
        int error = errno;
        ::unlink(destination.c_str());
        return {Status::failure(folderOf(destination) + ": cannot write the folder to disk: " + systemError(error))};
    }
    return {};
}

Status StagedFile::commitReplacing(const std::string& destination)
{
    if (Status finished = finishWriting(); !finished.ok())
        return finished;
    // Closed first, so that an error only the close reports leaves the old
    // file in place.
    int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0)
        return Status::failure(m_path + ": cannot write to disk: " + systemError(errno));
    // rename() swaps the name over to the new file atomically.
    if (::rename(m_path.c_str(), destination.c_str()) != 0)
        return Status::failure(destination + ": cannot replace: " + systemError(errno));
    m_done = true;
    // The old file is gone and cannot be brought back, so a folder that
    // cannot be flushed is not reported: the name is right for every reader,
    // and at worst a power cut now leaves the old file under it.
    syncFolder(folderOf(destination));
    return Status::success();
}

void StagedFile::discard()
{
    // Removed while still open and locked: once it is closed, another run's
    // clean-up could remove it and a third run stage a new file of the same
    // name, which this unlink would then take away.
    if (!m_done) {
        ::unlink(m_path.c_str());
        m_done = true;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::optional<std::string> StagedFile::destinationOf(const std::string& fileName)
{
    std::string::size_type dot = fileName.rfind(".part");
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    std::string number = fileName.substr(dot + 5);
    // Nothing, or an attempt number from 2 as create() writes it.
    bool asCreated = number.empty() || (number.find_first_not_of("0123456789") == std::string::npos &&
                                        number[0] != '0' && number != "1" && number.size() <= 3);
    if (!asCreated)
        return std::nullopt;
    return fileName.substr(0, dot);
}

bool StagedFile::removeIfAbandoned(const std::string& path)
{
    // O_NOFOLLOW: a link is never a staged file; O_NONBLOCK: nor is a pipe,
    // and opening one must not wait.
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    // The lock is what tells a left-behind file from one being written; the
    // name must still lead to the locked file when it is removed.
    bool abandoned =
        ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, path);
    if (abandoned) {
        // The companions first: while the staged file stands at its name,
        // no other run can stage a file of that name and start companions of
        // its own there. unlink never follows a link.
        for (const char* suffix : {"-journal", "-wal", "-shm"})
            ::unlink((path + suffix).c_str());
        abandoned = ::unlink(path.c_str()) == 0;
    }
    ::close(fd);
    return abandoned;
}

} // namespace tarvex
