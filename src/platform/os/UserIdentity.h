// Who runs the program, and where: the names Access writes into a lock file
// entry, and that the run record keeps for each run.
#pragma once

#include <string>

namespace tarvex {

// This computer's host name ("localhost" when the system cannot say).
std::string computerName();
// The login name of the user who runs the program (under sudo, the user who
// logged in), else the name of the account it runs as, else its number.
std::string userName();

} // namespace tarvex
