// RunState: what the start-up leaves for the review: the two open databases
// (only the host for an undo) and where the host database and its backup
// are, the vendor's name and, for an undo, the run it undoes.
#pragma once

#include "platform/Database.h"
#include "data/history/RunRecordFile.h"

#include <optional>

#include <string>

namespace tarvex {

struct RunState {
    // Empty for an undo, which needs no price list.
    std::optional<Database> update;
    Database host;
    std::string hostPath;
    std::string backupPath;
    std::string desktopFolder;
    // The vendor named in the price list, for the run record.
    std::string vendor = {};
    std::optional<RunSummary> undoing = {};
};

} // namespace tarvex
