// Making the start-up backup copy: the checks on the host path, the progress,
// and the name; the copy itself is the database engine's.
#include "startup/BackupCopy.h"

#include "platform/Database.h"
#include "startup/BackupName.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tarvex {

namespace {

// How many names are tried when the chosen one is taken between the look and
// the rename (another run finishing its copy in the same second).
constexpr int kNameAttempts = 100;

} // namespace

BackupCopy::BackupCopy(FileCopy& fileCopy, Prompter& prompter, const OpenOptions& options)
    : m_fileCopy(fileCopy)
    , m_prompter(prompter)
    , m_options(options)
{
}

BackupResult BackupCopy::make(const std::string& hostPath, const std::tm& when)
{
    using Outcome = BackupResult::Outcome;
    struct stat info {};
    if (::stat(hostPath.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {Outcome::NothingToBackUp, {}, hostPath + ": no such file"};
        return {Outcome::Failed, {}, hostPath + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(info.st_mode))
        return {Outcome::NothingToBackUp, {}, hostPath + ": not a file"};

    std::unique_ptr<Progress> progress = m_prompter.beginProgress("Backup Data", "Copying " + hostPath, true);
    int attempt = 1;
    for (int tries = 0; tries < kNameAttempts; ++tries, ++attempt) {
        std::string destination = BackupName::firstFree(hostPath, when, &BackupName::isTaken, attempt);
        CopyResult copied =
            Database::copyFile(hostPath, destination, info.st_mode, m_fileCopy, progress.get(), m_options);
        switch (copied.outcome) {
        case CopyResult::Outcome::Copied:
            return {Outcome::Made, destination, {}};
        case CopyResult::Outcome::Cancelled:
            return {Outcome::Cancelled, {}, copied.error};
        case CopyResult::Outcome::Failed:
            return {Outcome::Failed, {}, copied.error};
        case CopyResult::Outcome::NameTaken:
            break;
        }
    }
    return {Outcome::Failed, {}, hostPath + ": no free name for the backup copy"};
}

} // namespace tarvex
