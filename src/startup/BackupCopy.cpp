// Making the start-up backup copy: the check that the file is a database, the
// clean-up of copies earlier runs left, the progress, and the name; the copy
// itself is the database engine's.
#include "startup/BackupCopy.h"

#include "platform/Database.h"
#include "platform/os/StagedFile.h"
#include "platform/text/TextHelpers.h"
#include "startup/BackupName.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace tarvex {

namespace {

// How many names are tried when the chosen one is taken between the look and
// the rename (another run finishing its copy in the same second).
constexpr int kNameAttempts = 100;

// Removes the copies that earlier runs were writing beside the host when
// they stopped (a power cut, a kill) and that no running program still
// writes: only files of exactly the names a backup is staged under, which
// hold a lock while they are written. Everything else is left alone, and a
// folder that cannot be read is simply not cleaned.
void removeAbandonedCopies(const std::string& hostPath)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(hostPath), ec)) {
        std::string name = entry.path().filename().string();
        std::optional<std::string> destination = StagedFile::destinationOf(name);
        if (destination && BackupName::isCandidateName(hostPath, *destination))
            StagedFile::removeIfAbandoned(entry.path().string());
    }
}

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
    Result<DatabaseFileKind> kind = Database::fileKind(hostPath);
    if (!kind)
        return {Outcome::Failed, {}, kind.error()};
    if (!kind->database)
        return {Outcome::NotADatabase,
                {},
                hostPath + (info.st_size == 0 ? ": the file is empty (0 bytes), not a database"
                                              : ": not a database file (neither an SQLite nor an Access database)")};

    removeAbandonedCopies(hostPath);
    std::unique_ptr<Progress> progress = m_prompter.beginProgress("Backup Data", "Copying " + hostPath, true);
    int attempt = 1;
    bool rolledBack = false;
    for (int tries = 0; tries < kNameAttempts; ++tries, ++attempt) {
        std::string destination = BackupName::firstFree(hostPath, when, &BackupName::isTaken, attempt);
        CopyResult copied = Database::copyFile(hostPath, destination, m_fileCopy, progress.get(), m_options);
        rolledBack = rolledBack || copied.rolledBack;
        switch (copied.outcome) {
        case CopyResult::Outcome::Copied:
            return {Outcome::Made, destination, {}, rolledBack};
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
