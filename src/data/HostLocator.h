// Finding the host database: the location stored in Merlow.INI, or else a
// shortcut to the host application that the user picks, then redirected by
// the host application's logon settings file when its folder holds one.
#pragma once

#include "platform/Prompter.h"
#include "platform/Shell.h"

#include <optional>
#include <string>

namespace tarvex {

class HostLocator {
public:
    HostLocator(std::string programFolder, Prompter& prompter, Shell& shell);

    // The "DBLocation" value of Merlow.INI in the program folder, as read
    // (empty when none is stored).
    std::string storedLocation() const;
    // The host database path for a candidate path: the folder's logon.ini
    // "DBPath" or kvlogon.ini "DataPath" followed by "/kv.mdb" when one of
    // those files is there, else the candidate itself.
    std::string redirect(const std::string& candidate) const;
    // The whole procedure: stored location, or the shortcut dialog starting in
    // desktopFolder. Nothing when the user chose no shortcut; "Database not
    // located" has then been shown.
    std::optional<std::string> locate(const std::string& desktopFolder);

private:
    std::string m_programFolder;
    Prompter& m_prompter;
    Shell& m_shell;
};

} // namespace tarvex
