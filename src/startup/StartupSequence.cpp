// The start-up steps in their order, with their prompts and failure exits.
#include "startup/StartupSequence.h"

#include "data/DatabaseNames.h"
#include "data/HostDatabase.h"
#include "data/HostLocator.h"
#include "data/UpdateDatabase.h"
#include "platform/VisibleText.h"
#include "startup/BackupCopy.h"

#include <optional>

namespace tarvex {

std::tm systemLocalTime()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

StartupSequence::StartupSequence(std::string programFolder, Prompter& prompter, Shell& shell, FileCopy& fileCopy,
                                 Clock clock, HandOver handOver, const OpenOptions& options)
    : m_programFolder(std::move(programFolder))
    , m_prompter(prompter)
    , m_shell(shell)
    , m_fileCopy(fileCopy)
    , m_clock(std::move(clock))
    , m_handOver(std::move(handOver))
    , m_options(options)
{
}

RunEnd StartupSequence::fail(const char* text, const char* caption, const std::string& detail)
{
    m_prompter.showMessage({text, caption, detail, MessageIcon::Critical, MessageButtons::Ok});
    return RunEnd::Error;
}

RunEnd StartupSequence::run()
{
    using namespace startup_text;

    // The update database sits beside the program; it is never searched for.
    Result<Database> update = openUpdateDatabase(m_programFolder + "/" + names::kUpdateFile, m_options);
    if (!update)
        return fail(kErrorLoading, "ERROR", update.error());

    Result<std::string> vendor = firstVendorName(*update);
    if (!vendor)
        return fail(kNoVendor, "Error", vendor.error());

    Answer go = m_prompter.showMessage({std::string(kVendorPrompt) + visibleText(*vendor) + kVendorPromptEnd, "Notice",
                                        "", MessageIcon::None, MessageButtons::YesNo});
    if (go != Answer::Yes)
        return RunEnd::Normal;

    std::string desktop = m_shell.desktopFolder();
    HostLocator locator(m_programFolder, m_prompter, m_shell);
    // "Database not located" has been shown when nothing was found.
    std::optional<std::string> hostPath = locator.locate(desktop);
    if (!hostPath)
        return RunEnd::Error;

    Answer backUp =
        m_prompter.showMessage({kBackupNotice, kBackupCaption, "", MessageIcon::None, MessageButtons::OkCancel});
    if (backUp != Answer::Ok)
        return RunEnd::Normal;

    // Nothing may write to the host database until its backup exists: a
    // copy that fails or is cancelled ends the run before the open. (Only the
    // rollback of an interrupted write comes first: it restores what was last
    // completely saved, and the copy is taken of that.)
    BackupCopy backupCopy(m_fileCopy, m_prompter, m_options);
    BackupResult backup = backupCopy.make(*hostPath, m_clock());
    if (backup.outcome == BackupResult::Outcome::Cancelled || backup.outcome == BackupResult::Outcome::Failed) {
        std::string text = "The backup copy of " + *hostPath + " could not be made, so nothing has been changed.";
        m_prompter.showMessage({text, kBackupCaption, backup.error, MessageIcon::Critical, MessageButtons::Ok});
        return RunEnd::Error;
    }
    if (backup.outcome == BackupResult::Outcome::NotADatabase)
        return fail(kUnableToOpen, "Critical Error", backup.error);
    // The user is told, since the changes of that write (perhaps an earlier
    // run's apply) are not in the file, and the review lists them again.
    if (backup.rolledBack)
        m_prompter.showMessage({kRolledBack, kBackupCaption,
                                *hostPath +
                                    ": an earlier write to it was interrupted; its unfinished changes were "
                                    "rolled back before the backup copy " +
                                    backup.backupPath + " was made",
                                MessageIcon::None, MessageButtons::Ok});

    Result<Database> host = openHostDatabase(*hostPath, m_options);
    if (!host)
        return fail(kUnableToOpen, "Critical Error", host.error());

    RunState run{std::move(*update), std::move(*host), *hostPath, backup.backupPath, desktop};
    m_prompter.setBusy(true);
    m_prompter.processEvents(EventScope::All);
    return m_handOver(run);
}

} // namespace tarvex
