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
// regard to letter case; blanks around names, "=" and an unquoted value are
// not part of the value; one pair of matching quotes around a value is removed
// and what is inside kept as it stands. Never fails: an unreadable file is a
// missing one.
std::string readPrivateProfileString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& file);

} // namespace tarvex
