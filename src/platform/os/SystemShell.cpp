// The desktop services of this system: the desktop folder as the freedesktop
// user-dirs settings name it (UserFolders), and the targets of the three kinds
// of shortcut a user may pick: a symbolic link, a Windows shortcut
// (WindowsShortcut) and a desktop entry (DesktopEntry).
#include "platform/os/Shell.h"

#include "platform/desktop/DesktopEntry.h"
#include "platform/os/UserFolders.h"
#include "platform/desktop/WindowsShortcut.h"

#include <filesystem>

namespace tarvex {

namespace {

namespace fs = std::filesystem;

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
    return userDesktopFolder();
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
