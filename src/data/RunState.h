// RunState: what the start-up leaves for the review: the two open databases
// and where the host database and its backup are.
#pragma once

#include "platform/Database.h"

#include <string>

namespace tarvex {

struct RunState {
    Database update;
    Database host;
    std::string hostPath;
    std::string backupPath;
    std::string desktopFolder;
};

} // namespace tarvex
