// Bounded, non-blocking reads of small files named by the user or by another
// program's settings.
#include "platform/os/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tarvex {

std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes)
{
    // O_NONBLOCK: opening a named pipe must not wait for a writer; the fstat
    // below then refuses it. Checking the opened descriptor, not the name,
    // leaves no gap in which the name could be swapped for something else.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    // A file that shrinks while it is read ends where it now ends; growth past
    // the size fstat saw is not read.
    while (done < content.size()) {
        ssize_t n = ::read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    content.resize(done);
    return content;
}

} // namespace tarvex
