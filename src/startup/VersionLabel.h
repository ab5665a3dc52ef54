// The version text of the splash window.
#pragma once

#include <string>

namespace tarvex {

// "Version " + major.minor.revision of a four-part version: 2.0.0.21 gives
// "Version 2.0.21" (the third part is not shown).
std::string versionLabel(int major, int minor, int patch, int revision);
// The label for this program's own version.
std::string programVersionLabel();
// This program's whole version, all four parts joined by "." (1.0.0.1): the
// version of its package, and what --version prints.
std::string programVersion();

} // namespace tarvex
