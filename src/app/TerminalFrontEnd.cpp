// The terminal front end and the commands that need no window.
#include "app/TerminalFrontEnd.h"

#include "app/ExitStatus.h"
#include "app/RunHistory.h"
#include "app/RunReview.h"
#include "data/HostLocator.h"
#include "platform/os/FileCopy.h"
#include "platform/os/Shell.h"
#include "platform/text/VisibleText.h"
#include "startup/SplashText.h"
#include "startup/StartupSequence.h"
#include "startup/VersionLabel.h"

#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace tarvex {

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The hand-over to the terminal review on the run's two databases.
RunEnd runConsoleReview(RunState& run, ConsolePrompter& prompter, PdfPrinter printPdf)
{
    RunReview runReview(run, prompter);
    if (!runReview.prepare())
        return RunEnd::Error;
    ConsoleReview console(runReview.review(), prompter, std::move(printPdf), runReview.keepOff());
    return console.run();
}

} // namespace

bool displayAvailable()
{
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

std::string splashLine()
{
    return std::string(splash_text::kCaption) + " - " + splash_text::kProductName + " " + programVersionLabel() +
           " - " + splash_text::kCompany;
}

std::string versionLine()
{
    // The whole version, as the package carries it; only the splash shows
    // the three-number label.
    return std::string(kProgramTitle) + " " + programVersion();
}

namespace {

// The host database path a run would use, from the stored location and the
// logon settings files only, with the settings file it came from; nothing,
// said on err, when no location is stored.
std::optional<std::pair<StoredLocation, std::string>> storedHostPath(const std::string& settingsFolder,
                                                                     std::ostream& err)
{
    // The steps used here never prompt; the prompter and shell only satisfy
    // the locator's constructor.
    std::istringstream noInput;
    std::ostringstream unused;
    ConsolePrompter prompter(noInput, unused, unused, false);
    SystemShell shell;
    HostLocator locator(settingsFolder, prompter, shell);
    StoredLocation stored = locator.stored();
    if (stored.path.empty()) {
        err << "No host database location is stored in " << visibleText(settingsFilesText(settingsFolder))
            << " (section Settings, key DBLocation); a run would ask for a shortcut to the host application.\n";
        return std::nullopt;
    }
    std::string hostPath = locator.redirect(stored.path);
    return std::make_pair(stored, hostPath);
}

} // namespace

int locateHostDatabase(const std::string& settingsFolder, std::ostream& out, std::ostream& err)
{
    auto found = storedHostPath(settingsFolder, err);
    if (!found)
        return kExitError;
    const auto& [stored, hostPath] = *found;
    // The stored path comes from a file: no control character of it reaches
    // the terminal.
    out << visibleText(hostPath) << '\n' << std::flush;
    err << "tarvex: location from " << visibleText(stored.settingsFile) << " (section Settings, key DBLocation)";
    if (hostPath != stored.path)
        err << ", led on by the logon settings file in the folder of " << visibleText(stored.path);
    err << '\n' << std::flush;
    return kExitOk;
}

int historyOfHostDatabase(const std::string& settingsFolder, std::ostream& out, std::ostream& err,
                          std::optional<std::int64_t> run)
{
    auto found = storedHostPath(settingsFolder, err);
    if (!found)
        return kExitError;
    return printHistory(found->second, out, err, run);
}

int runInTerminal(const VendorFiles& files, std::istream& in, std::ostream& out, std::ostream& err, bool errIsTerminal,
                  bool inIsTerminal, PdfPrinter printPdf, std::optional<UndoRequest> undo)
{
    ConsolePrompter prompter(in, out, err, errIsTerminal, !inIsTerminal);
    out << splashLine() << '\n' << std::flush;
    SystemShell shell;
    SystemFileCopy fileCopy;
    StartupSequence sequence(files, prompter, shell, fileCopy, systemLocalTime,
                             [&](RunState& run) { return runConsoleReview(run, prompter, std::move(printPdf)); });
    if (undo)
        sequence.setUndo(*undo);
    RunEnd end = sequence.run();
    out << std::flush;
    return exitStatus(end);
}

std::optional<int> runWithoutWindows(const CommandLine& line, const VendorFiles& files, std::istream& in,
                                     std::ostream& out, std::ostream& err, bool errIsTerminal, bool inIsTerminal,
                                     PdfPrinter printPdf)
{
    switch (line.action) {
    case CommandLine::Action::Help:
        out << usageText() << std::flush;
        return kExitOk;
    case CommandLine::Action::Version:
        out << versionLine() << '\n' << std::flush;
        return kExitOk;
    case CommandLine::Action::Error:
        err << kUsageLine << '\n' << "tarvex: " << visibleText(line.error) << '\n' << std::flush;
        return kExitUsage;
    case CommandLine::Action::Locate:
        return locateHostDatabase(files.folder, out, err);
    case CommandLine::Action::History:
        return historyOfHostDatabase(files.folder, out, err, line.historyRun);
    case CommandLine::Action::HistoryWindow:
        if (line.frontEnd == CommandLine::FrontEnd::Terminal)
            return historyOfHostDatabase(files.folder, out, err);
        return std::nullopt;
    case CommandLine::Action::Undo:
    case CommandLine::Action::Run:
        break;
    }
    if (line.frontEnd == CommandLine::FrontEnd::Windows)
        return std::nullopt;
    std::optional<UndoRequest> undo;
    if (line.action == CommandLine::Action::Undo)
        undo = UndoRequest{line.undoRun};
    return runInTerminal(files, in, out, err, errIsTerminal, inIsTerminal, std::move(printPdf), undo);
}

} // namespace tarvex
