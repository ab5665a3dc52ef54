// The start-up steps in their order, with their prompts and failure exits.
#include "startup/StartupSequence.h"

#include "data/HostDatabase.h"
#include "data/HostLocator.h"
#include "data/RunJournal.h"
#include "data/UpdateDatabase.h"
#include "data/UserSettingsFile.h"
#include "platform/text/TextHelpers.h"
#include "platform/os/UserFolders.h"
#include "platform/text/VisibleText.h"
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

StartupSequence::StartupSequence(VendorFiles files, Prompter& prompter, Shell& shell, FileCopy& fileCopy, Clock clock,
                                 HandOver handOver, const OpenOptions& options)
    : m_files(std::move(files))
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

void StartupSequence::offerToRemember(const std::string& location, const std::string& hostPath)
{
    using namespace startup_text;
    std::string file = userSettingsFile();
    Answer remember =
        m_prompter.showMessage({kRemember, "", hostPath + " would then be found without the shortcut, from " + file,
                                MessageIcon::None, MessageButtons::YesNo});
    if (remember != Answer::Yes)
        return;
    // Not storing it costs only the dialog next time: the run goes on.
    Status stored = storeUserLocation(location, file);
    if (!stored)
        m_prompter.showMessage({kNotRemembered, "", stored.error(), MessageIcon::Exclamation, MessageButtons::Ok});
}

std::string undoQuestion(const RunSummary& run)
{
    using namespace startup_text;
    return kUndoPrompt + runTimeText(run.info.when) + kUndoPromptVendor + visibleText(run.info.vendor) +
           kVendorPromptEnd;
}

RunEnd StartupSequence::undo()
{
    using namespace startup_text;
    // The record beside the host names the run, its vendor and its products:
    // the host is found first, and no price list is needed.
    std::string desktop = m_shell.desktopFolder();
    HostLocator locator(m_files.folder, m_prompter, m_shell);
    std::optional<std::string> hostPath = locator.locate(desktop);
    if (!hostPath)
        return RunEnd::Error;
    Result<RunSummary> undone = runToUndo(*hostPath, m_undo->run);
    if (!undone)
        return fail(kNothingToUndo, kUndoCaption, undone.error());
    Answer go = m_prompter.showMessage({undoQuestion(*undone), "Notice", "", MessageIcon::None, MessageButtons::YesNo});
    if (go != Answer::Yes)
        return RunEnd::Normal;
    std::string vendor = undone->info.vendor;
    return backUpAndHandOver(locator, *hostPath, desktop, std::nullopt, std::move(vendor), std::move(*undone));
}

RunEnd StartupSequence::run()
{
    using namespace startup_text;
    if (m_undo)
        return undo();

    // The update database is where the vendor's files are, or where the
    // user points; it is never searched for.
    VendorFiles files = m_files;
    if (files.askForPriceList) {
        FileChoice choice;
        choice.title = kChoosePriceList;
        choice.filterName = "Vendor price list";
        choice.description = "vendor's price list";
        choice.patterns = {"*.mdb", "*.accdb"};
        choice.startFolder = homeFolder();
        std::optional<std::string> chosen = m_prompter.chooseFile(choice);
        // A cancelled dialog is the user's choice, as No to the vendor is.
        if (!chosen || chosen->empty())
            return RunEnd::Normal;
        // The chosen file's folder serves as the vendor's folder, as when the
        // file is named on the command line.
        files = VendorFiles(folderOf(*chosen), *chosen, false);
    }
    Result<Database> update = openUpdateDatabase(files.updateDatabase, m_options);
    if (!update)
        return fail(kErrorLoading, "ERROR", update.error());

    Result<std::string> vendor = firstVendorName(*update);
    if (!vendor)
        return fail(kNoVendor, "Error", vendor.error());

    // A price list found under another name is named below the question.
    Answer go = m_prompter.showMessage({std::string(kVendorPrompt) + visibleText(*vendor) + kVendorPromptEnd, "Notice",
                                        files.foundAs, MessageIcon::None, MessageButtons::YesNo});
    if (go != Answer::Yes)
        return RunEnd::Normal;

    std::string desktop = m_shell.desktopFolder();
    HostLocator locator(files.folder, m_prompter, m_shell);
    // "Database not located" has been shown when nothing was found.
    std::optional<std::string> hostPath = locator.locate(desktop);
    if (!hostPath)
        return RunEnd::Error;
    return backUpAndHandOver(locator, *hostPath, desktop, std::move(*update), std::move(*vendor), std::nullopt);
}

RunEnd StartupSequence::backUpAndHandOver(HostLocator& locator, const std::string& hostPath, const std::string& desktop,
                                          std::optional<Database> update, std::string vendor,
                                          std::optional<RunSummary> undoing)
{
    using namespace startup_text;
    // Asked before the backup question: a host no run could write ends the
    // run before its copy is made, and the user's OK to the copy is given
    // knowing what the look for other users of the file could not see.
    Result<std::string> unchecked = checkHostBeforeBackup(hostPath, m_options);
    if (!unchecked)
        return fail(kUnableToOpen, "Critical Error", unchecked.error());
    std::string detail;
    if (!unchecked->empty())
        detail = "Tarvex could not check whether other programs have " + fileNameOf(hostPath) + " open: " + *unchecked +
                 "; make sure the salon application is closed on every computer";
    Answer backUp =
        m_prompter.showMessage({kBackupNotice, kBackupCaption, detail, MessageIcon::None, MessageButtons::OkCancel});
    if (backUp != Answer::Ok)
        return RunEnd::Normal;

    // Nothing may write to the host database until its backup exists: a
    // copy that fails or is cancelled ends the run before the open. (Only the
    // rollback of an interrupted write comes first: it restores what was last
    // completely saved, and the copy is taken of that.)
    BackupCopy backupCopy(m_fileCopy, m_prompter, m_options);
    BackupResult backup = backupCopy.make(hostPath, m_clock());
    if (backup.outcome == BackupResult::Outcome::Cancelled || backup.outcome == BackupResult::Outcome::Failed) {
        std::string text = "The backup copy of " + hostPath + " could not be made, so nothing has been changed.";
        m_prompter.showMessage({text, kBackupCaption, backup.error, MessageIcon::Critical, MessageButtons::Ok});
        return RunEnd::Error;
    }
    if (backup.outcome == BackupResult::Outcome::NotADatabase)
        return fail(kUnableToOpen, "Critical Error", backup.error);
    // The user is told, since the changes of that write (perhaps an earlier
    // run's apply) are not in the file, and the review lists them again.
    if (backup.rolledBack)
        m_prompter.showMessage({kRolledBack, kBackupCaption,
                                hostPath +
                                    ": an earlier write to it was interrupted; its unfinished changes were "
                                    "rolled back before the backup copy " +
                                    backup.backupPath + " was made",
                                MessageIcon::None, MessageButtons::Ok});

    Result<Database> host = openHostDatabase(hostPath, m_options);
    if (!host)
        return fail(kUnableToOpen, "Critical Error", host.error());
    if (!locator.chosenLocation().empty())
        offerToRemember(locator.chosenLocation(), hostPath);

    RunState run{std::move(update), std::move(*host),  hostPath,          backup.backupPath,
                 desktop,           std::move(vendor), std::move(undoing)};
    m_prompter.setBusy(true);
    m_prompter.processEvents(EventScope::All);
    return m_handOver(run);
}

} // namespace tarvex
