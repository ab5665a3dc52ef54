// Writing a file under a temporary name and publishing it without replacing
// anything.
#include "platform/StagedFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

std::string folderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

StagedFile::StagedFile(int fd, std::string path)
    : m_fd(fd)
    , m_path(std::move(path))
{
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : m_fd(other.m_fd)
    , m_path(std::move(other.m_path))
    , m_done(other.m_done)
{
    other.m_fd = -1;
    other.m_done = true;
}

StagedFile::~StagedFile()
{
    discard();
}

Result<StagedFile> StagedFile::create(const std::string& destination, mode_t mode)
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
        StagedFile file(fd, path);
        if (::fchmod(fd, mode & 0777) != 0)
            return Result<StagedFile>::failure(path + ": cannot set permissions: " + systemError(errno));
        return file;
    }
    return Result<StagedFile>::failure(destination + ".part: too many temporary files of that name already exist in " +
                                       folderOf(destination));
}

Status StagedFile::finishWriting()
{
    if (m_done || m_fd < 0)
        return Status::failure(m_path + ": no file to commit");
    if (::fsync(m_fd) != 0)
        return Status::failure(m_path + ": cannot write to disk: " + systemError(errno));
    if (::close(m_fd) != 0) {
        m_fd = -1;
        return Status::failure(m_path + ": cannot write to disk: " + systemError(errno));
    }
    m_fd = -1;
    return Status::success();
}

Status StagedFile::commit(const std::string& destination, bool& nameTaken)
{
    nameTaken = false;
    if (Status finished = finishWriting(); !finished.ok())
        return finished;
    if (int error = renameNoReplace(m_path, destination)) {
        nameTaken = error == EEXIST;
        return Status::failure(destination + ": cannot name the copy: " + systemError(error));
    }
    m_done = true;
    if (!syncFolder(folderOf(destination))) {
        // A copy whose name may vanish in a power cut is not a backup one can
        // count on: take it back rather than leave a doubtful file.
        int error = errno;
        ::unlink(destination.c_str());
        return Status::failure(folderOf(destination) + ": cannot write the folder to disk: " + systemError(error));
    }
    return Status::success();
}

Status StagedFile::commitReplacing(const std::string& destination)
{
    if (Status finished = finishWriting(); !finished.ok())
        return finished;
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
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_done) {
        ::unlink(m_path.c_str());
        m_done = true;
    }
}

} // namespace tarvex
