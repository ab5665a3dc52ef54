// The terminal front end and the commands that need no window.
#include "app/TerminalFrontEnd.h"

#include "app/ExitStatus.h"
#include "data/HostLocator.h"
#include "platform/FileCopy.h"
#include "platform/Shell.h"
#include "platform/VisibleText.h"
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
    PriceReview review(run.update, run.host, prompter);
    ConsoleReview console(review, prompter, std::move(printPdf),
                          {run.hostPath, run.host.path(), run.update.path(), run.backupPath});
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
    std::string label = programVersionLabel();
    const std::string prefix = "Version ";
    if (label.rfind(prefix, 0) == 0)
        label.erase(0, prefix.size());
    return std::string(kProgramTitle) + " " + label;
}

int locateHostDatabase(const std::string& programFolder, std::ostream& out, std::ostream& err)
{
    // The steps used here never prompt; the prompter and shell only satisfy
    // the locator's constructor.
    std::istringstream noInput;
    std::ostringstream unused;
    ConsolePrompter prompter(noInput, unused, unused, false);
    SystemShell shell;
    HostLocator locator(programFolder, prompter, shell);
    std::string stored = locator.storedLocation();
    if (stored.empty()) {
        err << "No host database location is stored in " << visibleText(programFolder)
            << "/Merlow.INI (section Settings, key "
            << "DBLocation); a run would ask for a shortcut to the host application.\n";
        return kExitError;
    }
    // The stored path comes from a file: no control character of it reaches
    // the terminal.
    out << visibleText(locator.redirect(stored)) << '\n' << std::flush;
    return kExitOk;
}

int runInTerminal(const std::string& programFolder, std::istream& in, std::ostream& out, std::ostream& err,
                  bool errIsTerminal, bool inIsTerminal, PdfPrinter printPdf)
{
    ConsolePrompter prompter(in, out, err, errIsTerminal, !inIsTerminal);
    out << splashLine() << '\n' << std::flush;
    SystemShell shell;
    SystemFileCopy fileCopy;
    StartupSequence sequence(programFolder, prompter, shell, fileCopy, systemLocalTime,
                             [&](RunState& run) { return runConsoleReview(run, prompter, std::move(printPdf)); });
    RunEnd end = sequence.run();
    out << std::flush;
    return exitStatus(end);
}

std::optional<int> runWithoutWindows(const CommandLine& line, const std::string& programFolder, std::istream& in,
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
        return locateHostDatabase(programFolder, out, err);
    case CommandLine::Action::Run:
        break;
    }
    if (line.frontEnd == CommandLine::FrontEnd::Windows)
        return std::nullopt;
    return runInTerminal(programFolder, in, out, err, errIsTerminal, inIsTerminal, std::move(printPdf));
}

} // namespace tarvex
