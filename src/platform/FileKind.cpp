// Telling a database file's kind from its signature bytes.
#include "platform/FileKind.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvex {

namespace {

constexpr std::string_view kSqliteMagic("SQLite format 3\0", 16);
// An Access file's first page starts with its page type (0) and three more
// bytes, then the engine's signature; byte 0x14 is the format version.
constexpr std::string_view kJetMagic("\0\1\0\0Standard Jet DB\0", 20);
constexpr std::string_view kAceMagic("\0\1\0\0Standard ACE DB\0", 20);
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kHeaderSize = kVersionOffset + 1;

} // namespace

FileKind fileKindOfHeader(std::string_view header)
{
    if (header.substr(0, kSqliteMagic.size()) == kSqliteMagic)
        return FileKind::SQLite;
    if (header.size() < kHeaderSize)
        return FileKind::Other;
    auto version = static_cast<unsigned char>(header[kVersionOffset]);
    std::string_view signature = header.substr(0, kJetMagic.size());
    // Access 2007 and later write the ACE signature; some tools write Jet's
    // signature with an ACE version, so the version byte decides.
    if (signature == kJetMagic || signature == kAceMagic) {
        if (version == 0)
            return signature == kJetMagic ? FileKind::Jet3 : FileKind::Other;
        if (version == 1)
            return FileKind::Jet4;
        return FileKind::Ace;
    }
    return FileKind::Other;
}

Result<FileKind> fileKindOf(const std::string& path)
{
    // O_NONBLOCK: a named pipe at the path must not stall the check.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Result<FileKind>::failure("cannot open \"" + path + "\": " + std::strerror(errno));
    char buffer[kHeaderSize > kSqliteMagic.size() ? kHeaderSize : kSqliteMagic.size()];
    std::size_t done = 0;
    while (done < sizeof buffer) {
        ssize_t n = ::read(fd, buffer + done, sizeof buffer - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            return Result<FileKind>::failure("cannot read \"" + path + "\": " + std::strerror(error));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return fileKindOfHeader(std::string_view(buffer, done));
}

const char* fileKindName(FileKind kind)
{
    switch (kind) {
    case FileKind::SQLite:
        return "SQLite";
    case FileKind::Jet3:
        return "Access 97";
    case FileKind::Jet4:
        return "Access 2000-2003";
    case FileKind::Ace:
        return "Access 2007 or later";
    case FileKind::Other:
        break;
    }
    return "unknown";
}

} // namespace tarvex
