// The location procedure for the host database: the stored location or the
// user's chosen shortcut gives a candidate path; the host application's logon
// settings file in the candidate's folder, when there is one, names the folder
// of the database instead.
#include "data/HostLocator.h"

#include "data/DatabaseNames.h"
#include "platform/desktop/PrivateProfile.h"
#include "platform/text/TextHelpers.h"
#include "platform/os/UserFolders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace tarvex {

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The path of the file called name in folder, found without regard to letter
// case as the host application's own platform finds it (logon.ini, LogOn.INI
// and LOGON.INI are one file there). The exact spelling is taken first; among
// several other spellings, the first in byte order, so that the choice does
// not depend on the order the folder lists its entries in. Nothing when no
// ordinary file of that name is there. folder is used as text: an empty
// folder is the root, as "" + "/name" is.
std::optional<std::string> findFileIgnoringCase(const std::string& folder, const std::string& name)
{
    std::string exact = folder + "/" + name;
    if (isRegularFile(exact))
        return exact;
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return std::nullopt;
    std::vector<std::string> matches;
    while (const dirent* entry = ::readdir(dir)) {
        std::string entryName = entry->d_name;
        if (sameIgnoringCase(entryName, name) && isRegularFile(folder + "/" + entryName))
            matches.push_back(folder + "/" + entryName);
    }
    ::closedir(dir);
    if (matches.empty())
        return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

} // namespace

std::string userSettingsFile()
{
    return userConfigFolder() + "/tarvex/Merlow.INI";
}

std::vector<std::string> settingsFilesAfterTheFolder()
{
    std::vector<std::string> files{userSettingsFile()};
    for (const std::string& folder : systemConfigFolders())
        files.push_back(folder + "/tarvex/Merlow.INI");
    return files;
}

std::string settingsFilesText(const std::string& programFolder)
{
    std::vector<std::string> files = settingsFilesAfterTheFolder();
    std::string text = programFolder + "/Merlow.INI";
    for (std::size_t i = 0; i < files.size(); ++i)
        text += (i + 1 == files.size() ? " or " : ", ") + files[i];
    return text;
}

HostLocator::HostLocator(std::string programFolder, Prompter& prompter, Shell& shell)
    : m_programFolder(std::move(programFolder))
    , m_prompter(prompter)
    , m_shell(shell)
{
}

StoredLocation HostLocator::stored() const
{
    // Merlow.INI is installed beside the program under that name, but a copy
    // made by hand on this system may be spelled merlow.ini: both are found.
    if (std::optional<std::string> settings = findFileIgnoringCase(m_programFolder, "Merlow.INI")) {
        std::string path = readPrivateProfileString("Settings", "DBLocation", "", *settings);
        if (!path.empty())
            return {path, *settings};
    }
    // A vendor's folder (or an installed program's) seldom stores the
    // location: the user's own file keeps it once for every vendor, and an
    // administrator's file once for every user of the computer. They are
    // this program's files, read under their one spelling.
    for (const std::string& file : settingsFilesAfterTheFolder()) {
        std::string path = readPrivateProfileString("Settings", "DBLocation", "", file);
        if (!path.empty())
            return {path, file};
    }
    return {};
}

std::string HostLocator::redirect(const std::string& candidate) const
{
    std::size_t slash = candidate.rfind('/');
    std::string folder = slash == std::string::npos ? candidate : candidate.substr(0, slash);
    // The values are used exactly as read: a folder that ends in "/" gives a
    // doubled separator, which the file system reads as one.
    std::string hostFile = std::string("/") + names::kHostFile;
    if (std::optional<std::string> logon = findFileIgnoringCase(folder, "logon.ini"))
        return readPrivateProfileString("LogOn", "DBPath", "", *logon) + hostFile;
    if (std::optional<std::string> kvLogon = findFileIgnoringCase(folder, "kvlogon.ini"))
        return readPrivateProfileString("LogOn", "DataPath", "", *kvLogon) + hostFile;
    return candidate;
}

std::string HostLocator::notLocatedDetail() const
{
    return std::string("Run Tarvex again and pick the Brindle/Quorra shortcut or its database ") + names::kHostFile +
           ", or store the database's path as DBLocation in the [Settings] section of " + userSettingsFile() +
           " (for you), " + m_programFolder + "/Merlow.INI (for this folder) or " + systemConfigFolders().front() +
           "/tarvex/Merlow.INI (for every user).";
}

std::optional<std::string> HostLocator::locate(const std::string& desktopFolder)
{
    m_chosenLocation.clear();
    std::string candidate = storedLocation();
    if (candidate.empty()) {
        FileChoice choice;
        choice.title = "Select Brindle/Quorra Link";
        choice.description = "shortcut file";
        choice.filterName = "Brindle.lnk";
        // Desktop entries are this system's shortcuts to programs.
        choice.patterns = {"*.lnk", "*.desktop"};
        choice.startFolder = desktopFolder;
        // The database itself serves as well: a file that is no shortcut is
        // its own candidate (below).
        choice.otherFilters = {{"Brindle/Quorra database", {names::kHostFile, "*.mdb", "*.accdb"}, "database"}};
        choice.hint = std::string("Pick the Brindle/Quorra shortcut, or its database ") + names::kHostFile +
                      " itself (\"Brindle/Quorra database\" under the file types).";
        std::optional<std::string> chosen = m_prompter.chooseFile(choice);
        if (!chosen || chosen->empty()) {
            Message message;
            message.text = "Database not located";
            message.caption = "Error";
            message.detail = notLocatedDetail();
            message.icon = MessageIcon::Critical;
            message.buttons = MessageButtons::Ok;
            m_prompter.showMessage(message);
            return std::nullopt;
        }
        // A shortcut that cannot be read leaves its own path as the
        // candidate; a logon settings file beside it may still lead on.
        std::optional<std::string> target = m_shell.shortcutTarget(*chosen);
        candidate = (target && !target->empty()) ? *target : *chosen;
        std::string hostPath = redirect(candidate);
        m_chosenLocation = redirect(hostPath) == hostPath ? hostPath : candidate;
        return hostPath;
    }
    return redirect(candidate);
}

} // namespace tarvex
