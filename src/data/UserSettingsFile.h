// Storing the host database location in the user's own settings file
// (userSettingsFile()), so that a location found once through a chosen
// shortcut serves every later run of this user, whatever vendor's folder it
// starts from.
#pragma once

#include "platform/Result.h"

#include <string>

namespace tarvex {

// Writes file to hold only section "Settings" with key "DBLocation" set to
// location, so that the private-profile reader gives location back exactly.
// The file's folder, and the folder above it, are made with mode 0700 when
// missing. The file is written whole under a temporary name, checked by
// reading it back, and only then renamed into place (mode 0600): it is
// written whole or not at all. A file already at that name is replaced only
// when it is one this program writes: an ordinary file of the user's own that
// holds nothing but that section and key and blank lines. Anything else there
// (a link, a folder, a file of another user or with other settings) is left
// as it is, and the failure says so. A location the file cannot hold as it is
// (a line break, or longer than kProfileValueLimit) is refused. Fails with a
// text naming the file and the reason.
Status storeUserLocation(const std::string& location, const std::string& file);

} // namespace tarvex
