// The copy of an Access database: only while no other program has the file
// open, since one that writes it while it is copied would leave a copy that
// is half old and half new (Access's record locks are not documented, so its
// writes cannot be held off the way SQLite's are).
//
// A write that began after that check still has to be caught, and the host,
// often on a server's share, should be read once. So the host is not
// compared with its copy afterwards (a second read of the whole file);
// instead:
// - its size, modification and change times, device and inode are taken
//   before the copy and again after it: any write in between changes them.
//   This holds also when the system copies the bytes without passing them
//   through this process (copy_file_range, which on an SMB or NFS share can
//   copy on the server), where no digest of the bytes could be taken as they
//   go. It is stronger than the comparison it replaces in one way: a write
//   to a part not yet copied, which the comparison could not tell from the
//   file's own content, leaves a copy half old and half new, and moves the
//   times all the same.
// - times move in steps (a clock tick, more on some shares), so a write in
//   the same step as the last one before the copy could leave them as they
//   were. When the file was written that recently, it is compared with its
//   copy byte for byte as before: the second read is left to that case,
//   which a host that the salon application has closed hardly ever meets.
// - the copy is then read back whole, from the disk rather than from what
//   this computer still holds of it where the system lets that go: it must
//   have the file's size and begin with the file's first page as read before
//   the copy (the header the engine checks: format, version, the database's
//   key), and every byte of it must be readable.
#include "platform/access/AccessCopy.h"

#include "platform/access/AccessFileUsers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace tarvex {

namespace {

// Wider than any step in which a file system or a share keeps a file's times
// (FAT-formatted drives keep the modification time in steps of 2 seconds),
// and than a share's clock is likely to stray from this computer's.
constexpr std::time_t kTimeStepSeconds = 3;
// The first page of a Jet 4 or ACE file, two pages of a Jet 3 one.
constexpr std::size_t kFirstPage = 4096;

struct File {
    int fd;
    ~File()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// What tells that a file was written, replaced or resized.
struct Stamp {
    struct stat info {};

    bool operator==(const Stamp& other) const
    {
        const struct stat& a = info;
        const struct stat& b = other.info;
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
               a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
    }
    // Whether the file was last written so shortly before now that a write
    // in the same step of the clock would leave its times as they are (or
    // its time is ahead of this computer's clock).
    bool recent(std::time_t now) const { return info.st_mtim.tv_sec >= now - kTimeStepSeconds; }
};

// Taken through an open of the file rather than stat(): an NFS or SMB
// client may answer stat() from times it holds for a while, where an open
// asks the server for the file's times afresh.
Result<Stamp> stampOf(const std::string& path)
{
    Stamp stamp;
    File file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0 || ::fstat(file.fd, &stamp.info) != 0)
        return Result<Stamp>::failure(path + ": cannot look at the file while it is copied: " + std::strerror(errno));
    return stamp;
}

// Reads up to size bytes at offset, fewer only at the end of the file.
Result<std::string> readAt(int fd, const std::string& path, std::size_t size, off_t offset)
{
    std::string bytes(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::pread(fd, bytes.data() + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Result<std::string>::failure(path + ": cannot read: " + std::strerror(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

Result<std::string> firstPageOf(const std::string& path)
{
    File file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return Result<std::string>::failure(path + ": cannot open: " + std::strerror(errno));
    return readAt(file.fd, path, kFirstPage, 0);
}

// Whether the files at a and b hold the same bytes. Fails, naming the file,
// when one cannot be read.
Result<bool> sameBytes(const std::string& a, const std::string& b)
{
    File first{::open(a.c_str(), O_RDONLY | O_CLOEXEC)};
    if (first.fd < 0)
        return Result<bool>::failure(a + ": cannot open to compare with its copy: " + std::strerror(errno));
    File second{::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    if (second.fd < 0)
        return Result<bool>::failure(b + ": cannot open to compare with " + a + ": " + std::strerror(errno));
    std::string left(1 << 20, '\0');
    std::string right(1 << 20, '\0');
    for (;;) {
        ssize_t n = ::read(first.fd, left.data(), left.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Result<bool>::failure(a + ": cannot read to compare with its copy: " + std::strerror(errno));
        // The copy is read to the same length, and one byte more at the end.
        std::size_t want = n == 0 ? 1 : static_cast<std::size_t>(n);
        std::size_t got = 0;
        while (got < want) {
            ssize_t m = ::read(second.fd, right.data() + got, want - got);
            if (m < 0 && errno == EINTR)
                continue;
            if (m < 0)
                return Result<bool>::failure(b + ": cannot read to compare with " + a + ": " + std::strerror(errno));
            if (m == 0)
                break;
            got += static_cast<std::size_t>(m);
        }
        if (n == 0)
            return got == 0;
        if (got != want || std::memcmp(left.data(), right.data(), want) != 0)
            return false;
    }
}

// Reads the copy at path back whole: it must hold size bytes, all readable,
// and begin with firstPage.
Status readBack(const std::string& path, std::uint64_t size, const std::string& firstPage)
{
    const std::string notAsWritten = path + ": the copy does not read back as it was written";
    File file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return Status::failure(path + ": cannot open to read the copy back: " + std::strerror(errno));
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) != size)
        return Status::failure(notAsWritten);
    // The copy was flushed to the disk as it got its name: its pages held
    // here can be let go, so that what is read is what the disk kept.
    (void)::posix_fadvise(file.fd, 0, 0, POSIX_FADV_DONTNEED);
    constexpr std::size_t kBlock = 1u << 20;
    std::uint64_t done = 0;
    for (;;) {
        Result<std::string> block = readAt(file.fd, path, kBlock, static_cast<off_t>(done));
        if (!block)
            return Status::failure(block.error());
        if (done == 0 && block->compare(0, firstPage.size(), firstPage) != 0)
            return Status::failure(notAsWritten);
        done += block->size();
        if (block->size() < kBlock)
            break;
    }
    return done == size ? Status::success() : Status::failure(notAsWritten);
}

} // namespace

CopyResult copyAccessFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                          Progress* progress)
{
    using Outcome = CopyResult::Outcome;
    Result<AccessFileUsers> users = findAccessFileUsers(source);
    if (!users.ok())
        return {Outcome::Failed, users.error()};
    if (users->anyone())
        return {Outcome::Failed, users->message(source)};
    const std::time_t started = std::time(nullptr);
    Result<Stamp> before = stampOf(source);
    if (!before)
        return {Outcome::Failed, before.error()};
    Result<std::string> firstPage = firstPageOf(source);
    if (!firstPage)
        return {Outcome::Failed, firstPage.error()};

    CopyResult copied = plainCopy.copy(source, destination, progress);
    if (!copied.ok())
        return copied;

    const std::string changed = source + ": the file changed while it was copied; another program is writing it";
    std::string problem;
    Result<Stamp> after = stampOf(source);
    if (!after) {
        problem = after.error();
    } else if (!(*after == *before)) {
        problem = changed;
    } else if (before->recent(started)) {
        Result<bool> same = sameBytes(source, destination);
        if (!same.ok())
            problem = same.error();
        else if (!*same)
            problem = changed;
    }
    if (problem.empty()) {
        Status read = readBack(destination, static_cast<std::uint64_t>(before->info.st_size), *firstPage);
        if (read)
            return copied;
        problem = read.error();
    }
    ::unlink(destination.c_str());
    return {Outcome::Failed, problem};
}

} // namespace tarvex
