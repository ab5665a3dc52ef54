// Windows shortcuts: a check of the sizes a shortcut states, liblnk's reading
// of its target, and the target's path in this system's form.
#include "platform/desktop/WindowsShortcut.h"

#include "platform/bytes/LittleEndian.h"
#include "platform/os/SmallFile.h"
#include "platform/text/TextHelpers.h"
#include "platform/os/UserFolders.h"

// liblnk's header includes libbfio's for an interface this program does not
// use, and libbfio's headers are not always installed with the library: its
// features header is read first and that interface switched off.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace tarvex {

namespace {

namespace fs = std::filesystem;

// A path from a Windows shortcut in this system's form. Windows paths use "\"
// as their separator and never have it inside a name, so every "\" becomes
// "/": the location code then finds the folder part at the last "/". A drive
// path ("C:/...") is taken into the Wine prefix when that drive exists there,
// so that a shortcut to a host application installed under Wine leads to its
// real folder; otherwise it stays as it is.
std::string fromWindowsPath(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path.size() == 2 || path[2] == '/')) {
        const char* prefix = std::getenv("WINEPREFIX");
        std::string winePrefix = (prefix && *prefix) ? std::string(prefix) : homeFolder() + "/.wine";
        std::string drive = winePrefix + "/dosdevices/" + lowerAscii(path[0]) + ":";
        if (isFolder(drive))
            return drive + path.substr(2);
    }
    return path;
}

// One UTF-8 text of an open shortcut, read through the size and value getters
// liblnk provides for it. Nothing when the shortcut does not hold it.
template <class SizeGetter, class ValueGetter>
std::optional<std::string> lnkString(liblnk_file_t* file, SizeGetter getSize, ValueGetter getValue)
{
    size_t size = 0;
    liblnk_error_t* error = nullptr;
    if (getSize(file, &size, &error) != 1 || size <= 1) {
        liblnk_error_free(&error);
        return std::nullopt;
    }
    std::string value(size, '\0');
    if (getValue(file, reinterpret_cast<uint8_t*>(value.data()), size, &error) != 1) {
        liblnk_error_free(&error);
        return std::nullopt;
    }
    value.resize(value.find('\0'));
    if (value.empty())
        return std::nullopt;
    return value;
}

// A Windows shortcut is a few kilobytes; a file past this is not one.
constexpr std::size_t kMaxShortcutBytes = 1024 * 1024;

// Whether every structure of a shortcut whose size the file states lies
// inside the file: the item list, the location information, the strings and
// the extra data blocks. liblnk allocates what a size field asks for before
// it reads, so a damaged or hostile shortcut of a few hundred bytes could
// otherwise have it reserve gigabytes.
bool shortcutSizesFit(std::string_view bytes)
{
    constexpr std::size_t kHeaderSize = 0x4C;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < kHeaderSize || get32(data) != kHeaderSize)
        return false;
    std::uint32_t flags = get32(data + 0x14);
    std::size_t at = kHeaderSize;
    auto take = [&](std::size_t size) {
        if (size > bytes.size() - at)
            return false;
        at += size;
        return true;
    };
    if (flags & 0x01) { // item list: a 16-bit size, then the list
        if (!take(2) || !take(get16(data + at - 2)))
            return false;
    }
    if (flags & 0x02) { // location information: a 32-bit size that counts itself
        if (bytes.size() - at < 4)
            return false;
        std::uint32_t size = get32(data + at);
        if (size < 4 || !take(size))
            return false;
    }
    const std::size_t unitSize = (flags & 0x80) ? 2 : 1;
    for (std::uint32_t stringFlag : {0x04u, 0x08u, 0x10u, 0x20u, 0x40u}) { // name, paths, arguments, icon
        if (!(flags & stringFlag))
            continue;
        if (!take(2) || !take(get16(data + at - 2) * unitSize))
            return false;
    }
    // Extra data blocks, each with a 32-bit size counting itself, up to a
    // terminal block of size below 4 (or the end of the file).
    while (bytes.size() - at >= 4) {
        std::uint32_t size = get32(data + at);
        if (size < 4)
            return true;
        if (!take(size))
            return false;
    }
    return true;
}

} // namespace

std::optional<std::string> windowsShortcutTarget(const std::string& path)
{
    std::optional<std::string> bytes = readSmallFile(path, kMaxShortcutBytes);
    if (!bytes || !shortcutSizesFit(*bytes))
        return std::nullopt;
    liblnk_error_t* error = nullptr;
    if (liblnk_check_file_signature(path.c_str(), &error) != 1) {
        liblnk_error_free(&error);
        return std::nullopt;
    }
    liblnk_file_t* file = nullptr;
    if (liblnk_file_initialize(&file, &error) != 1) {
        liblnk_error_free(&error);
        return std::nullopt;
    }
    std::optional<std::string> target;
    if (liblnk_file_open(file, path.c_str(), LIBLNK_OPEN_READ, &error) == 1) {
        if (auto local = lnkString(file, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path)) {
            target = fromWindowsPath(*local);
        } else if (auto relative =
                       lnkString(file, liblnk_file_get_utf8_relative_path_size, liblnk_file_get_utf8_relative_path)) {
            std::string resolved = fromWindowsPath(*relative);
            if (resolved.front() != '/')
                resolved = folderOf(path) + "/" + resolved;
            target = fs::path(resolved).lexically_normal().string();
        } else if (auto network =
                       lnkString(file, liblnk_file_get_utf8_network_path_size, liblnk_file_get_utf8_network_path)) {
            target = fromWindowsPath(*network);
        }
        liblnk_file_close(file, &error);
    }
    liblnk_error_free(&error);
    liblnk_file_free(&file, nullptr);
    return target;
}

} // namespace tarvex
