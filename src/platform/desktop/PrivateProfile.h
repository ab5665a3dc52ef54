// Reading one value from a private-profile (INI) settings file, the way the
// Windows call reads it, so that settings files written for the host
// application read the same here.
#pragma once

#include <string>

namespace tarvex {

// The longest value returned: longer values are cut to their first this-many
// characters.
inline constexpr std::size_t kProfileValueLimit = 499;

// The value of key in section of file, or defaultValue when the file, the
// section or the key is missing. Section and key names are matched without
// regard to letter case; blanks (spaces, tabs and the Ctrl-Z end-of-file mark
// of old DOS editors) around names, "=" and an unquoted value are not part of
// the value; one pair of matching quotes around a value is removed
// and what is inside kept as it stands; a ";" starts a comment only at the
// start of a line. The first of duplicate keys counts, and only the first
// section of a name is searched. A default is returned without its trailing
// blanks, as the Windows call returns it.
//
// Never fails: an unreadable file is a missing one, and so is anything that is
// not an ordinary file (a folder, a device, a pipe) or is larger than a
// settings file can reasonably be (16 MB). UTF-8 and UTF-16 files with a
// byte-order mark are read as text; values come back as UTF-8.
std::string readPrivateProfileString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& file);

} // namespace tarvex
