// Writes real Windows shortcut (.lnk) files for tests, in the binary layout of
// the Shell Link format: the 76-byte header, a LinkInfo structure with a local
// base path or a network share, an optional relative path string, and the
// terminal block. liblnk reads them as it reads shortcuts made by Windows.
#pragma once

#include <optional>
#include <string>

namespace tarvex::test {

struct LnkTarget {
    // The target's local path, e.g. C:\Host\host.exe (LinkInfo local base path).
    std::optional<std::string> localPath;
    // A network share, e.g. \\server\share, with the rest of the path in
    // pathSuffix (LinkInfo common network relative link).
    std::optional<std::string> networkShare;
    std::string pathSuffix;
    // The path relative to the shortcut's folder (string data, UTF-16).
    std::optional<std::string> relativePath;
};

// The bytes of a shortcut to target. ASCII paths only.
std::string lnkBytes(const LnkTarget& target);
// Writes a shortcut to target at file and returns file.
std::string writeLnk(const std::string& file, const LnkTarget& target);

} // namespace tarvex::test
