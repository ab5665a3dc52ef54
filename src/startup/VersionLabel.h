// The version text of the splash window.
#pragma once

#include <string>

namespace tarvex {

// "Version " + major.minor.revision of a four-part version: 2.0.0.21 gives
// "Version 2.0.21" (the third part is not shown).
std::string versionLabel(int major, int minor, int patch, int revision);
// The label for this program's own version.
std::string programVersionLabel();

} // namespace tarvex
