// BackupBench: times the real start-up backup copy (BackupCopy over
// SystemFileCopy) of a host file, and the floor the system sets: cp of the
// same file, both as it stands and followed by a flush of the copy to disk
// (which the backup copy does before it gives the copy its name).
#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <string>

namespace tarvex::bench {

struct BackupFigures {
    std::uint64_t bytes = 0;
    double backupSeconds = 0; // best of the runs
    double cpSeconds = 0;
    double cpSyncSeconds = 0; // cp, then sync of the copy
};

class BackupBench {
public:
    // Copies hostPath repeats times each way, alternating, into its own
    // folder; every copy is removed again. Fails naming the file when a copy
    // fails.
    static Result<BackupFigures> measure(const std::string& hostPath, int repeats);
};

} // namespace tarvex::bench
