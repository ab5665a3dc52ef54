// Shell: the desktop services the location steps need: the user's desktop
// folder and the target of a shortcut file. SystemShell is the real one.
#pragma once

#include <optional>
#include <string>

namespace tarvex {

class Shell {
public:
    virtual ~Shell() = default;
    // The user's desktop folder (XDG), used as the shortcut dialog's start.
    virtual std::string desktopFolder() = 0;
    // The path a shortcut file leads to: a symbolic link's target, a desktop
    // entry's program, a Windows shortcut's target path. Nothing when the file
    // cannot be read as any of them.
    virtual std::optional<std::string> shortcutTarget(const std::string& shortcutFile) = 0;
};

class SystemShell : public Shell {
public:
    std::string desktopFolder() override;
    std::optional<std::string> shortcutTarget(const std::string& shortcutFile) override;
};

} // namespace tarvex
