// Telling a database file by its signature.
#include "platform/db/DatabaseKind.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

// The signatures, each with its terminating NUL, and where they stand.
constexpr std::string_view kSqlite{"SQLite format 3\0", 16};
constexpr std::string_view kJet{"Standard Jet DB\0", 16};
constexpr std::string_view kAce{"Standard ACE DB\0", 16};
constexpr std::size_t kAccessOffset = 4;
// An Access file's format version: 0 for Jet 3, 1 for Jet 4, 2 and up for
// ACE (some tools write Jet's signature with an ACE version).
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kHeaderSize = kVersionOffset + 1;

} // namespace

DatabaseKind databaseKindOfHeader(std::string_view header)
{
    if (header.substr(0, kSqlite.size()) == kSqlite)
        return DatabaseKind::Sqlite;
    if (header.size() < kAccessOffset + kJet.size())
        return DatabaseKind::NotADatabase;
    std::string_view signature = header.substr(kAccessOffset, kJet.size());
    if (signature == kAce)
        return DatabaseKind::Ace;
    if (signature != kJet)
        return DatabaseKind::NotADatabase;
    // A header cut off before its version is still an Access database; the
    // reader finds it damaged.
    if (header.size() < kHeaderSize)
        return DatabaseKind::Jet4;
    switch (static_cast<unsigned char>(header[kVersionOffset])) {
    case 0:
        return DatabaseKind::Jet3;
    case 1:
        return DatabaseKind::Jet4;
    default:
        return DatabaseKind::Ace;
    }
}

Result<DatabaseKind> databaseKind(const std::string& path)
{
    // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Result<DatabaseKind>::failure(path + ": cannot open: " + std::strerror(errno));
    struct stat info {};
    char start[kHeaderSize] = {};
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
    return databaseKindOfHeader(std::string_view(start, static_cast<std::size_t>(got)));
}

const char* databaseKindName(DatabaseKind kind)
{
    switch (kind) {
    case DatabaseKind::Sqlite:
        return "SQLite";
    case DatabaseKind::Jet3:
        return "Access 97";
    case DatabaseKind::Jet4:
        return "Access 2000-2003";
    case DatabaseKind::Ace:
        return "Access 2007 or later";
    case DatabaseKind::NotADatabase:
        break;
    }
    return "not a database";
}

} // namespace tarvex
