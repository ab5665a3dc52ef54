// Finding the home and desktop folders. The desktop folder is read from the
// user-dirs.dirs file that the freedesktop xdg-user-dirs tool writes.
#include "platform/os/UserFolders.h"

#include "platform/os/SmallFile.h"
#include "platform/text/TextHelpers.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

namespace tarvex {

namespace {

// A user-dirs file is a few hundred bytes; past this a file is not one.
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

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

} // namespace

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string userConfigFolder()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    return (configHome && configHome[0] == '/') ? std::string(configHome) : homeFolder() + "/.config";
}

std::vector<std::string> systemConfigFolders()
{
    std::vector<std::string> folders;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string list = dirs ? dirs : "";
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = std::min(list.find(':', start), list.size());
        std::string folder = list.substr(start, end - start);
        // As for XDG_CONFIG_HOME, a relative entry is ignored.
        if (!folder.empty() && folder[0] == '/')
            folders.push_back(folder);
        start = end + 1;
    }
    if (folders.empty())
        folders.push_back("/etc/xdg");
    return folders;
}

bool isFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

std::string userDesktopFolder()
{
    std::string home = homeFolder();
    std::string desktop = desktopFromUserDirs(userConfigFolder() + "/user-dirs.dirs", home);
    if (isFolder(desktop))
        return desktop;
    if (isFolder(home + "/Desktop"))
        return home + "/Desktop";
    return home;
}

} // namespace tarvex
