// StartupSequence: the steps from the program's start to the price change
// review: open the update database, confirm the vendor, locate the host
// database, make the backup copy, open the host database, and hand over.
// Every prompt and every failure message on the way goes through the
// Prompter; each failure ends the run with its message and status.
#pragma once

#include "data/HostLocator.h"
#include "data/RunEnd.h"
#include "data/RunState.h"
#include "platform/Database.h"
#include "platform/os/FileCopy.h"
#include "platform/os/Shell.h"
#include "platform/prompt/Prompter.h"
#include "startup/VendorFiles.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace tarvex {

// An undo asked for: of run number, or of the latest run not undone.
struct UndoRequest {
    std::optional<std::int64_t> run;
};

// The current local time; tests give a fixed one.
using Clock = std::function<std::tm()>;
// Runs the price change review on the open databases and says how the run
// ended.
using HandOver = std::function<RunEnd(RunState&)>;

// The local time now, as the system reports it.
std::tm systemLocalTime();

class StartupSequence {
public:
    // files: where the price list and Merlow.INI are (a folder string serves
    // for a folder's own files).
    StartupSequence(VendorFiles files, Prompter& prompter, Shell& shell, FileCopy& fileCopy, Clock clock,
                    HandOver handOver, const OpenOptions& options = {});

    // Runs the steps in order. When files asks for the price list, the file
    // dialog comes first; cancelling it ends the run quietly. After a shortcut chosen in the dialog led to a
    // host database that opened, asks once whether to remember that location
    // in the user's own settings file, and stores it on Yes. Returns RunEnd::Normal for a run that ends
    // normally or by the user's choice (No to the vendor, Cancel to the backup
    // notice), RunEnd::Error after an error message, and the hand-over's end
    // once it has run. The databases are closed when it returns.
    RunEnd run();

    // Makes the run an undo of the recorded run number, or of the latest not
    // undone (see runToUndo): no price list is opened; the host database is
    // located first, and the vendor question is replaced by the undo
    // question naming that run's date and vendor. The rest is as for a price
    // list, and the hand-over gets no update database but the run undone.
    void setUndo(UndoRequest request) { m_undo = request; }

private:
    RunEnd fail(const char* text, const char* caption, const std::string& detail);
    RunEnd backUpAndHandOver(HostLocator& locator, const std::string& hostPath, const std::string& desktop,
                             std::optional<Database> update, std::string vendor, std::optional<RunSummary> undoing);
    RunEnd undo();
    void offerToRemember(const std::string& location, const std::string& hostPath);

    VendorFiles m_files;
    Prompter& m_prompter;
    Shell& m_shell;
    FileCopy& m_fileCopy;
    Clock m_clock;
    HandOver m_handOver;
    // How both databases are opened and the host copied.
    OpenOptions m_options;
    std::optional<UndoRequest> m_undo;
};

// The question asked before an undo of run, in place of the vendor question.
std::string undoQuestion(const RunSummary& run);

// The fixed texts of the start-up's prompts and messages.
namespace startup_text {
inline constexpr const char* kVendorPrompt = "You are running Standard Pricing Update for Vendor:";
inline constexpr const char* kVendorPromptEnd = ", Continue?";
inline constexpr const char* kBackupNotice =
    "The Tarvex program will backup your data before starting, This may take several minutes.";
inline constexpr const char* kBackupCaption = "Backup Data";
inline constexpr const char* kRolledBack =
    "An interrupted write to the database was rolled back before the backup copy was made.";
inline constexpr const char* kErrorLoading = "Error Loading database";
inline constexpr const char* kNoVendor = "Error Locating Vendor Record";
inline constexpr const char* kUnableToOpen = "Unable to Open Database";
inline constexpr const char* kChoosePriceList = "Select the vendor's price list";
inline constexpr const char* kUndoPrompt = "You are undoing the price update of ";
inline constexpr const char* kUndoPromptVendor = " for Vendor:";
inline constexpr const char* kNothingToUndo = "There is no price update to undo.";
inline constexpr const char* kUndoCaption = "Undo Price Update";
inline constexpr const char* kRemember = "Remember this location for the next price updates?";
inline constexpr const char* kNotRemembered = "The location was not remembered.";
} // namespace startup_text

} // namespace tarvex
