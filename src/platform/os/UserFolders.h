// The user's own folders: the home folder, the folder of the user's settings,
// and the desktop folder as the freedesktop user-dirs settings name it.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

// $HOME, else the home folder of the user's account, else "/".
std::string homeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config (the XDG rules
// ignore a relative one). The folder need not exist.
std::string userConfigFolder();

// The folders of settings for every user of the computer, most important
// first: the absolute entries of $XDG_CONFIG_DIRS (a list separated by ':'),
// else /etc/xdg.
std::vector<std::string> systemConfigFolders();

// Whether path names an existing folder (a link to one included).
bool isFolder(const std::string& path);

// The XDG_DESKTOP_DIR of the user-dirs settings when that folder exists,
// else ~/Desktop when it exists, else the home folder.
std::string userDesktopFolder();

} // namespace tarvex
