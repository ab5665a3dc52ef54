// Finding a program named without a folder in the folders of PATH, as the
// desktop does when it starts one.
#pragma once

#include <string>

namespace tarvex {

// program itself when it names a folder ("/usr/bin/x", "./x"); else the
// first executable ordinary file of that name in the folders of PATH; else
// program unchanged.
std::string findProgram(const std::string& program);

} // namespace tarvex
