// The program's entry. Everything that needs no window (--help, --version,
// --locate, --history, and a whole run or undo in the terminal) is the
// terminal front end's; otherwise the splash window, whose timer runs the
// start-up sequence with the windowed prompts and hands over to the review
// window, or, for --history-window, the history window first. No QApplication
// is made for the terminal: it would fail without a display.
#include "app/HistoryWindow.h"
#include "app/OffscreenPrinting.h"
#include "app/QtMessages.h"
#include "app/TerminalFrontEnd.h"
#include "app/WindowFrontEnd.h"
#include "platform/os/FileCopy.h"
#include "platform/os/ProgramFolder.h"
#include "platform/os/Shell.h"
#include "platform/os/StopSignals.h"
#include "platform/prompt/qt/QtPrompter.h"
#include "startup/CommandLine.h"
#include "startup/VendorFiles.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <unistd.h>

#include <csignal>
#include <iostream>

namespace {

int runWindows(int argc, char** argv, const tarvex::VendorFiles& files, const tarvex::CommandLine& line)
{
    QApplication app(argc, argv);
    // The session ending (the user logging out) asks an apply or a backup
    // under way to stop between two steps and report, as SIGTERM does; the
    // request reaches the apply while it lets events run between products.
    // At any other time there is nothing under way to stop.
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(&app, &QGuiApplication::commitDataRequest,
                     [](QSessionManager&) { tarvex::StopSignals::request(); });
#endif
    tarvex::QtPrompter prompter;
    tarvex::SystemShell shell;
    tarvex::SystemFileCopy fileCopy;
    if (line.action == tarvex::CommandLine::Action::HistoryWindow)
        return tarvex::runHistoryWindow(files, prompter, shell, fileCopy);
    std::optional<tarvex::UndoRequest> undo;
    if (line.action == tarvex::CommandLine::Action::Undo)
        undo = tarvex::UndoRequest{line.undoRun};
    return tarvex::runInWindows(files, prompter, shell, fileCopy, undo);
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit reached while writing the backup must fail the write
    // (EFBIG), which removes the partial copy and says so, not kill the run.
    std::signal(SIGXFSZ, SIG_IGN);
    tarvex::hideQtMessagesUnlessAsked();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    tarvex::CommandLine line = tarvex::CommandLine::parse(arguments, tarvex::displayAvailable());
    // A folder or price list on the command line (a desktop entry's %f)
    // takes the place of the program's own folder. A path that names nothing
    // is a command line error; the files then play no part.
    tarvex::Result<tarvex::VendorFiles> found =
        tarvex::findVendorFiles(line.vendorPath, tarvex::programFolder(argv[0]), tarvex::programInstallFolders());
    if (!found && line.action != tarvex::CommandLine::Action::Error) {
        line.action = tarvex::CommandLine::Action::Error;
        line.error = found.error();
    }
    const tarvex::VendorFiles files = found ? *found : tarvex::VendorFiles(std::string());

    tarvex::OffscreenPrinting printing;
    std::optional<int> status =
        tarvex::runWithoutWindows(line, files, std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                                  ::isatty(STDIN_FILENO) == 1, printing.pdfPrinter());
    if (status)
        return *status;
    return runWindows(argc, argv, files, line);
}
