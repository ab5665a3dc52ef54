// The desktop services of this system: the desktop folder as the freedesktop
// user-dirs settings name it, and the targets of the three kinds of shortcut
// a user may pick: a symbolic link, a desktop entry and a Windows shortcut
// (read through liblnk).
#include "platform/Shell.h"

#include "platform/SmallFile.h"

// liblnk's header includes libbfio's for an interface this program does not
// use, and libbfio's headers are not always installed with the library: its
// features header is read first and that interface switched off.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace tarvex {

namespace {

// Desktop entries and user-dirs files are a few kilobytes.
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

namespace fs = std::filesystem;

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

bool isFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The lines of text, LF or CR LF ended.
template <class Visit> void forEachLine(std::string_view text, Visit visit)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (!visit(trimBlanks(text.substr(pos, end - pos))))
            return;
        pos = end + 1;
    }
}

// XDG_DESKTOP_DIR from a user-dirs.dirs file: a shell assignment whose value
// is "$HOME/..." or an absolute path, in double quotes. Like the shell that
// normally reads the file, the last assignment counts. Empty when unset or
// not of that form.
std::string desktopFromUserDirs(const std::string& file, const std::string& home)
{
    std::optional<std::string> text = readSmallFile(file, kMaxSettingsBytes);
    if (!text)
        return {};
    std::string found;
    forEachLine(*text, [&](std::string_view line) {
        constexpr std::string_view key = "XDG_DESKTOP_DIR=";
        if (line.substr(0, key.size()) != key)
            return true;
        std::string_view raw = line.substr(key.size());
        std::string value;
        if (!raw.empty() && raw.front() == '"') {
            std::size_t i = 1;
            for (; i < raw.size() && raw[i] != '"'; ++i) {
                if (raw[i] == '\\' && i + 1 < raw.size())
                    ++i;
                value += raw[i];
            }
            if (i >= raw.size())
                return true; // no closing quote: not a valid assignment
        } else {
            value = std::string(raw);
        }
        if (value == "$HOME" || value.rfind("$HOME/", 0) == 0)
            found = home + value.substr(5);
        else if (!value.empty() && value.front() == '/')
            found = value;
        return true;
    });
    return found;
}

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
        std::string drive =
            winePrefix + "/dosdevices/" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))) + ":";
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

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

// Whether every structure of a shortcut whose size the file states lies
// inside the file: the item list, the location information, the strings and
// the extra data blocks. liblnk allocates what a size field asks for before
// it reads, so a damaged or hostile shortcut of a few hundred bytes could
// otherwise have it reserve gigabytes.
bool shortcutSizesFit(std::string_view bytes)
{
    constexpr std::size_t kHeaderSize = 0x4C;
    if (bytes.size() < kHeaderSize || littleEndian(bytes, 0, 4) != kHeaderSize)
        return false;
    std::uint32_t flags = littleEndian(bytes, 0x14, 4);
    std::size_t at = kHeaderSize;
    auto take = [&](std::size_t size) {
        if (size > bytes.size() - at)
            return false;
        at += size;
        return true;
    };
    if (flags & 0x01) { // item list: a 16-bit size, then the list
        if (!take(2) || !take(littleEndian(bytes, at - 2, 2)))
            return false;
    }
    if (flags & 0x02) { // location information: a 32-bit size that counts itself
        if (bytes.size() - at < 4)
            return false;
        std::uint32_t size = littleEndian(bytes, at, 4);
        if (size < 4 || !take(size))
            return false;
    }
    const std::size_t unitSize = (flags & 0x80) ? 2 : 1;
    for (std::uint32_t stringFlag : {0x04u, 0x08u, 0x10u, 0x20u, 0x40u}) { // name, paths, arguments, icon
        if (!(flags & stringFlag))
            continue;
        if (!take(2) || !take(littleEndian(bytes, at - 2, 2) * unitSize))
            return false;
    }
    // Extra data blocks, each with a 32-bit size counting itself, up to a
    // terminal block of size below 4 (or the end of the file).
    while (bytes.size() - at >= 4) {
        std::uint32_t size = littleEndian(bytes, at, 4);
        if (size < 4)
            return true;
        if (!take(size))
            return false;
    }
    return true;
}

// The target of a Windows shortcut: its local path; else its relative path,
// taken from the shortcut's own folder; else its network path. Nothing when
// liblnk cannot read the file as a shortcut or it holds none of these.
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
                resolved = fs::path(path).parent_path().string() + "/" + resolved;
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

// A desktop entry value with its escapes (\s \n \t \r \\) turned into the
// characters they stand for.
std::string unescapeValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        char next = value[++i];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            // "\\" gives "\"; other pairs stay for the Exec quoting rules.
            if (next != '\\')
                out += '\\';
            out += next;
        }
    }
    return out;
}

// The program of an Exec command line: its first word. A quoted first word
// runs to the closing double quote, inside which a backslash makes the next
// character (", `, $ or \) literal. Nothing for an empty line or an
// unterminated quote.
std::optional<std::string> execProgram(std::string_view exec)
{
    std::size_t i = 0;
    while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t'))
        ++i;
    std::string program;
    if (i < exec.size() && exec[i] == '"') {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size() &&
                std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos)
                ++i;
            program += exec[i];
        }
        if (i >= exec.size())
            return std::nullopt;
    } else {
        for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t' && exec[i] != '\n'; ++i)
            program += exec[i];
    }
    if (program.empty())
        return std::nullopt;
    return program;
}

// A program named without a folder is found the way the desktop starts it:
// in the folders of PATH. Unfound, the name stays as it is.
std::string findProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* pathList = std::getenv("PATH");
    std::string_view folders = pathList ? pathList : "";
    while (!folders.empty()) {
        std::size_t colon = folders.find(':');
        std::string_view folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        if (folder.empty())
            continue;
        std::string candidate = std::string(folder) + "/" + program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return program;
}

// The program a desktop entry starts: the first word of the Exec key of its
// "Desktop Entry" group. Nothing when the file is not a desktop entry or has
// no usable Exec key.
std::optional<std::string> desktopEntryTarget(const std::string& path)
{
    std::optional<std::string> text = readSmallFile(path, kMaxSettingsBytes);
    if (!text)
        return std::nullopt;
    std::string_view content = *text;
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    bool isEntry = false;
    bool inEntryGroup = false;
    std::optional<std::string> exec;
    forEachLine(content, [&](std::string_view line) {
        if (line.empty() || line.front() == '#')
            return true;
        if (line.front() == '[') {
            // Only the first "Desktop Entry" group counts; the action groups
            // after it have Exec keys of their own.
            if (isEntry)
                return false;
            inEntryGroup = isEntry = line == "[Desktop Entry]";
            return true;
        }
        if (!inEntryGroup)
            return true;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || trimBlanks(line.substr(0, equals)) != "Exec")
            return true;
        exec = unescapeValue(trimBlanks(line.substr(equals + 1)));
        return false;
    });
    // A desktop entry is text: a NUL byte in the command line means the file
    // is damaged, and a path cut short at it would name another program.
    if (!exec || exec->find('\0') != std::string::npos)
        return std::nullopt;
    std::optional<std::string> program = execProgram(*exec);
    if (!program)
        return std::nullopt;
    return findProgram(*program);
}

// The target of an ordinary file read as a Windows shortcut or else as a
// desktop entry; nothing when it is neither.
std::optional<std::string> fileShortcutTarget(const std::string& path)
{
    if (std::optional<std::string> target = windowsShortcutTarget(path))
        return target;
    return desktopEntryTarget(path);
}

} // namespace

std::string SystemShell::desktopFolder()
{
    std::string home = homeFolder();
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    std::string config = (configHome && configHome[0] == '/') ? std::string(configHome) : home + "/.config";
    std::string desktop = desktopFromUserDirs(config + "/user-dirs.dirs", home);
    if (isFolder(desktop))
        return desktop;
    if (isFolder(home + "/Desktop"))
        return home + "/Desktop";
    return home;
}

std::optional<std::string> SystemShell::shortcutTarget(const std::string& shortcutFile)
{
    std::error_code ec;
    fs::file_status status = fs::symlink_status(shortcutFile, ec);
    if (ec)
        return std::nullopt;
    if (fs::is_symlink(status)) {
        // The whole chain of links is followed; a dangling or looping link
        // has no target.
        fs::path target = fs::canonical(shortcutFile, ec);
        if (ec)
            return std::nullopt;
        // A link to a shortcut file (a .lnk kept elsewhere, say) leads where
        // that shortcut leads; a link to anything else leads to that file.
        if (fs::is_regular_file(target, ec)) {
            if (std::optional<std::string> further = fileShortcutTarget(target.string()))
                return further;
        }
        return target.string();
    }
    if (!fs::is_regular_file(status))
        return std::nullopt;
    return fileShortcutTarget(shortcutFile);
}

} // namespace tarvex
