// Copying a file's bytes quickly, with progress, into a file that appears
// under its name only when complete.
#include "platform/os/FileCopy.h"

#include "platform/os/StagedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvex {

namespace {

// Each step copies this much, so progress and a cancel are heard several
// times a second even on a slow network drive while the step stays large
// enough to run at the disk's full speed.
constexpr std::size_t kBlock = 2u << 20;

// Starts writing the bytes just copied out to the disk without waiting for
// it. The copy is flushed as a whole before it gets its name; started block
// by block, that flush overlaps the copying instead of following it, and a
// large copy takes little longer than it would without the flush.
void startWriteBack(int fd, std::uint64_t offset, std::uint64_t length)
{
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
}

// Copies with read and write from the current offsets to the end of src.
// Returns 0 or an errno value; done counts the bytes written.
int copyByReading(int src, int dst, std::uint64_t& done, std::uint64_t total, Progress* progress, bool& cancelled)
{
    std::vector<char> buffer(1u << 20);
    for (;;) {
        ssize_t got = ::read(src, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        for (ssize_t put = 0; put < got;) {
            ssize_t n = ::write(dst, buffer.data() + put, static_cast<std::size_t>(got - put));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            put += n;
        }
        startWriteBack(dst, done, static_cast<std::uint64_t>(got));
        done += static_cast<std::uint64_t>(got);
        if (progress && !progress->update(done, std::max(total, done))) {
            cancelled = true;
            return 0;
        }
    }
}

} // namespace

CopyResult SystemFileCopy::copy(const std::string& source, const std::string& destination, Progress* progress)
{
    using Outcome = CopyResult::Outcome;
    auto failed = [](std::string error) { return CopyResult{Outcome::Failed, std::move(error)}; };

    int src = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (src < 0)
        return failed(source + ": cannot open: " + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeSource{src};
    struct stat info {};
    if (::fstat(src, &info) != 0)
        return failed(source + ": cannot read: " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return failed(source + ": not a regular file");

    Result<StagedFile> staged = StagedFile::create(destination, info.st_mode, info.st_uid, info.st_gid);
    if (!staged)
        return failed(staged.error());
    int dst = staged->fd();
    const std::uint64_t total = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t done = 0;
    bool cancelled = false;
    if (progress && !progress->update(0, total))
        return {Outcome::Cancelled, source + ": the copy was cancelled"};

    int error = 0;
    for (;;) {
        ssize_t n = ::copy_file_range(src, nullptr, dst, nullptr, kBlock, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // Not offered between these two files: go on from where the
            // offsets stand with plain reads and writes.
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)
                error = copyByReading(src, dst, done, total, progress, cancelled);
            else
                error = errno;
            break;
        }
        if (n == 0)
            break;
        startWriteBack(dst, done, static_cast<std::uint64_t>(n));
        done += static_cast<std::uint64_t>(n);
        if (progress && !progress->update(done, std::max(total, done))) {
            cancelled = true;
            break;
        }
    }
    if (cancelled)
        return {Outcome::Cancelled, source + ": the copy was cancelled"};
    if (error != 0)
        return failed(staged->path() + ": cannot copy " + source + ": " + std::strerror(error));

    StagedFile::Committed committed = staged->commit(destination);
    if (!committed.status)
        return {committed.nameTaken ? Outcome::NameTaken : Outcome::Failed, committed.status.error()};
    return {Outcome::Copied, {}};
}

} // namespace tarvex
