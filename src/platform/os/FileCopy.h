// FileCopy: copying one file's bytes to a new file, with progress and a way
// to cancel. SystemFileCopy is the real one: it copies in large blocks
// (copy_file_range where the system offers it), writes the copy under a
// temporary name, and gives it its final name only once complete and on disk
// (see StagedFile).
#pragma once

#include "platform/prompt/Progress.h"

#include <string>

namespace tarvex {

// How a copy ended. error names the file and the reason for anything but
// Copied.
struct CopyResult {
    enum class Outcome { Copied, Cancelled, NameTaken, Failed };
    Outcome outcome = Outcome::Failed;
    std::string error;
    // Database::copyFile only: a write to the source that was cut short was
    // rolled back before the copy (whatever the outcome), so a copy is of
    // the file as it was last completely saved. A FileCopy never sets it.
    bool rolledBack = false;

    bool ok() const { return outcome == Outcome::Copied; }
};

class FileCopy {
public:
    virtual ~FileCopy() = default;
    // Copies source to a new file named destination, with the permission bits
    // of source and, where the process may, its owner and group. progress
    // (may be null) hears bytes done out of the total and may cancel. Never
    // replaces an existing destination (NameTaken) and leaves nothing behind
    // unless it returns Copied.
    virtual CopyResult copy(const std::string& source, const std::string& destination, Progress* progress) = 0;
};

class SystemFileCopy : public FileCopy {
public:
    CopyResult copy(const std::string& source, const std::string& destination, Progress* progress) override;
};

} // namespace tarvex
