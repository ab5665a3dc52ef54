// Finding the host database: the location stored in Merlow.INI (the
// program's, else the user's own), or else a shortcut to the host application
// that the user picks, then redirected by the host application's logon
// settings file when its folder holds one.
#pragma once

#include "platform/prompt/Prompter.h"
#include "platform/os/Shell.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// A stored host database location and the settings file it was read from;
// both empty when none is stored.
struct StoredLocation {
    std::string path;
    std::string settingsFile;
};

// The user's own settings file, read when the program folder's Merlow.INI
// stores no location: Merlow.INI in the tarvex folder of userConfigFolder().
std::string userSettingsFile();

// The settings files read in turn when the program folder's Merlow.INI
// stores no location: the user's own, then tarvex/Merlow.INI in each of
// systemConfigFolders() (/etc/xdg/tarvex/Merlow.INI: the administrator's,
// for every user of the computer).
std::vector<std::string> settingsFilesAfterTheFolder();

// Every settings file a location is read from, in order, for messages:
// "FOLDER/Merlow.INI, USER'S FILE or /etc/xdg/tarvex/Merlow.INI".
std::string settingsFilesText(const std::string& programFolder);

class HostLocator {
public:
    HostLocator(std::string programFolder, Prompter& prompter, Shell& shell);

    // The "DBLocation" value of Merlow.INI in the program folder, as read;
    // when that is empty (no file, or no value in it), the first value in
    // settingsFilesAfterTheFolder().
    StoredLocation stored() const;
    // stored().path: empty when none is stored.
    std::string storedLocation() const { return stored().path; }
    // The host database path for a candidate path: the folder's logon.ini
    // "DBPath" or kvlogon.ini "DataPath" followed by "/kv.mdb" when one of
    // those files is there, else the candidate itself.
    std::string redirect(const std::string& candidate) const;
    // The whole procedure: stored location, or the shortcut dialog starting in
    // desktopFolder, which also offers the database file itself. Nothing when
    // the user chose no file; "Database not located" has then been shown,
    // with notLocatedDetail().
    std::optional<std::string> locate(const std::string& desktopFolder);
    // After locate() found the host database through a shortcut chosen in the
    // dialog: the value that, stored as "DBLocation", leads a later run to
    // the same path without the dialog (that path itself, unless a logon
    // settings file beside it would lead on; then the shortcut's candidate).
    // Empty when the location was a stored one.
    const std::string& chosenLocation() const { return m_chosenLocation; }
    // What to do when no file was chosen: pick the shortcut or kv.mdb, or
    // store the location, naming the settings files it may go in.
    std::string notLocatedDetail() const;

private:
    std::string m_programFolder;
    Prompter& m_prompter;
    Shell& m_shell;
    std::string m_chosenLocation;
};

} // namespace tarvex
