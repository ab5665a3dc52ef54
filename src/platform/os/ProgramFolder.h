// Where the running program's file is: the program keeps its update database
// and settings file beside itself.
#pragma once

#include <string>

namespace tarvex {

// The folder of the running program's file, links resolved. argv0 is used
// only where the system cannot say (no /proc): its folder, made absolute.
std::string programFolder(const char* argv0);

} // namespace tarvex
