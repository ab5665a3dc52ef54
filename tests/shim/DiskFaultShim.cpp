// A library the disk fault tests preload (LD_PRELOAD) into a process of a
// test program, never linked into the program itself. It stands between the
// process and the C library for the few calls durability rests on, and
// breaks one of them when a variable of the environment names the file:
//
//   TARVEX_FAIL_FLUSH=<end of a path>: fsync and fdatasync of a file whose
//     path ends so fail with EIO and flush nothing, as a disk that lost the
//     write reports it; a folder's path fails the flush of its entries;
//   TARVEX_FLIP_READBACK=<end of a path>: a pread of such a file over exactly
//     the bytes the last pwrite to that descriptor wrote gets its first byte
//     inverted, once, as a disk that did not keep the write returns it;
//   TARVEX_SHORT_WRITE=<end of a path>: a pwrite to such a file writes all
//     but its last byte (nothing of a single byte) and says how many it
//     wrote, as a disk that fills up during the write does;
//   TARVEX_FAIL_READ=<end of a path>: a pread of such a file fails with EIO,
//     as a disk that cannot give back what it was given;
//   TARVEX_FAIL_SOURCE_READ=<end of a path>: read and copy_file_range from
//     such a file give its first 64 KiB, then fail with EIO, as a disk with
//     a sector it cannot read;
//   TARVEX_NO_COPY_RANGE=<end of a path>: copy_file_range from such a file
//     fails with EXDEV, as between two file systems, so that a copy reads;
//   TARVEX_CHANGE_WHILE_COPIED=<end of a path>: once bytes have been read
//     from such a file (read or copy_file_range), its first byte read is
//     inverted in the file itself, once for each such path in the process's
//     life, as another program writing the file while it is copied would
//     leave it.
//
// The variables are read at every call, so a test sets one around the step
// it breaks. Unset, every call goes straight to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename F> F next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// Whether fd's file has a path ending in the text of the variable named.
bool chosen(const char* variable, int fd)
{
    const char* end = std::getenv(variable);
    if (!end || !*end || fd < 0)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    std::size_t size = std::strlen(end);
    return static_cast<std::size_t>(n) >= size && std::memcmp(path + n - size, end, size) == 0;
}

// The last pwrite to each descriptor of a chosen file, until read back.
struct Written {
    bool armed = false;
    off_t offset = 0;
    std::size_t size = 0;
};
constexpr int kDescriptors = 1024;
Written g_written[kDescriptors];

void noteWrite(int fd, off_t offset, ssize_t done)
{
    if (done > 0 && fd >= 0 && fd < kDescriptors && chosen("TARVEX_FLIP_READBACK", fd))
        g_written[fd] = {true, offset, static_cast<std::size_t>(done)};
}

void flipReadBack(int fd, void* buffer, std::size_t size, off_t offset, ssize_t got)
{
    if (fd < 0 || fd >= kDescriptors || got <= 0)
        return;
    Written& last = g_written[fd];
    if (!last.armed || last.offset != offset || last.size != size || !chosen("TARVEX_FLIP_READBACK", fd))
        return;
    last.armed = false;
    static_cast<unsigned char*>(buffer)[0] ^= 0xFF;
}

// The path of the file changed last.
char g_changed[4096];

void changeWhileCopied(int fd, off_t at, ssize_t got)
{
    if (got <= 0 || !chosen("TARVEX_CHANGE_WHILE_COPIED", fd))
        return;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[sizeof g_changed] = {};
    if (::readlink(link, path, sizeof path - 1) <= 0 || std::strcmp(path, g_changed) == 0)
        return;
    std::memcpy(g_changed, path, sizeof path);
    auto realPread = next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    auto realPwrite = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64");
    int other = ::open(link, O_RDWR | O_CLOEXEC);
    unsigned char byte = 0;
    if (other >= 0 && realPread(other, &byte, 1, at) == 1) {
        byte ^= 0xFF;
        (void)realPwrite(other, &byte, 1, at);
    }
    if (other >= 0)
        ::close(other);
}

int failedIo()
{
    errno = EIO;
    return -1;
}

// For TARVEX_FAIL_SOURCE_READ: how much of size a read of fd's file at
// offset at may give (0 when it is to fail).
constexpr off_t kReadableSource = 64 << 10;
std::size_t readableAt(int fd, off_t at, std::size_t size)
{
    if (!chosen("TARVEX_FAIL_SOURCE_READ", fd))
        return size;
    return at < kReadableSource ? std::min(size, static_cast<std::size_t>(kReadableSource - at)) : 0;
}

} // namespace

extern "C" {

// Tells a test program that it runs with this library preloaded.
int tarvex_disk_fault_shim = 1;

int fsync(int fd)
{
    if (chosen("TARVEX_FAIL_FLUSH", fd))
        return failedIo();
    return next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd)
{
    if (chosen("TARVEX_FAIL_FLUSH", fd))
        return failedIo();
    return next<int (*)(int)>("fdatasync")(fd);
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset)
{
    if (size > 0 && chosen("TARVEX_SHORT_WRITE", fd) && --size == 0)
        return 0;
    ssize_t done = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, buffer, size, offset);
    noteWrite(fd, offset, done);
    return done;
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off_t offset)
{
    if (size > 0 && chosen("TARVEX_SHORT_WRITE", fd) && --size == 0)
        return 0;
    ssize_t done = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64")(fd, buffer, size, offset);
    noteWrite(fd, offset, done);
    return done;
}

ssize_t pread(int fd, void* buffer, size_t size, off_t offset)
{
    if (chosen("TARVEX_FAIL_READ", fd))
        return failedIo();
    ssize_t got = next<ssize_t (*)(int, void*, size_t, off_t)>("pread")(fd, buffer, size, offset);
    flipReadBack(fd, buffer, size, offset, got);
    return got;
}

ssize_t pread64(int fd, void* buffer, size_t size, off_t offset)
{
    if (chosen("TARVEX_FAIL_READ", fd))
        return failedIo();
    ssize_t got = next<ssize_t (*)(int, void*, size_t, off_t)>("pread64")(fd, buffer, size, offset);
    flipReadBack(fd, buffer, size, offset, got);
    return got;
}

ssize_t read(int fd, void* buffer, size_t size)
{
    off_t at = std::getenv("TARVEX_CHANGE_WHILE_COPIED") || std::getenv("TARVEX_FAIL_SOURCE_READ")
                   ? ::lseek(fd, 0, SEEK_CUR)
                   : 0;
    if (size > 0 && (size = readableAt(fd, at, size)) == 0)
        return failedIo();
    ssize_t got = next<ssize_t (*)(int, void*, size_t)>("read")(fd, buffer, size);
    if (at >= 0)
        changeWhileCopied(fd, at, got);
    return got;
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t size, unsigned flags)
{
    if (chosen("TARVEX_NO_COPY_RANGE", in)) {
        errno = EXDEV;
        return -1;
    }
    off_t at = inOffset ? *inOffset
                        : (std::getenv("TARVEX_CHANGE_WHILE_COPIED") || std::getenv("TARVEX_FAIL_SOURCE_READ")
                               ? ::lseek(in, 0, SEEK_CUR)
                               : 0);
    if (size > 0 && (size = readableAt(in, at, size)) == 0)
        return failedIo();
    ssize_t done = next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range")(
        in, inOffset, out, outOffset, size, flags);
    if (at >= 0)
        changeWhileCopied(in, at, done);
    return done;
}

} // extern "C"
