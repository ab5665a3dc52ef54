// Telling a database file by its signature.
#include "platform/DatabaseKind.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

// The signatures, each with its terminating NUL, and where they stand.
constexpr std::string_view kSqlite{"SQLite format 3\0", 16};
constexpr std::string_view kJet{"Standard Jet DB\0", 16};
constexpr std::string_view kAce{"Standard ACE DB\0", 16};
constexpr std::size_t kAccessOffset = 4;

} // namespace

Result<DatabaseKind> databaseKind(const std::string& path)
{
    // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Result<DatabaseKind>::failure(path + ": cannot open: " + std::strerror(errno));
    struct stat info {};
    char start[kAccessOffset + kJet.size()] = {};
    ssize_t got = 0;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISREG(info.st_mode)) {
        // pread: one read from the start, however the file was opened before.
        do
            got = ::pread(fd, start, sizeof start, 0);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            error = errno;
    }
    ::close(fd);
    if (error != 0)
        return Result<DatabaseKind>::failure(path + ": cannot read: " + std::strerror(error));

    std::string_view head(start, static_cast<std::size_t>(got));
    if (head.substr(0, kSqlite.size()) == kSqlite)
        return DatabaseKind::Sqlite;
    if (head.size() >= kAccessOffset + kJet.size()) {
        std::string_view signature = head.substr(kAccessOffset, kJet.size());
        if (signature == kJet)
            return DatabaseKind::Jet;
        if (signature == kAce)
            return DatabaseKind::Ace;
    }
    return DatabaseKind::NotADatabase;
}

} // namespace tarvex
