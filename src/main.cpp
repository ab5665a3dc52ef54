// The program's entry. Everything that needs no window (--help, --version,
// --locate, and a whole run in the terminal) is the terminal front end's;
// otherwise the splash window, whose timer runs the start-up sequence with
// the windowed prompts and hands over to the review window. No QApplication
// is made for the terminal: it would fail without a display.
#include "platform/FileCopy.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtPrompter.h"
#include "review/qt/ListPrinter.h"
#include "review/qt/ReviewWindow.h"
#include "startup/CommandLine.h"
#include "startup/StartupSequence.h"
#include "startup/TerminalFrontEnd.h"
#include "startup/qt/frmSplash.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <unistd.h>

#include <csignal>
#include <iostream>
#include <memory>

namespace {

int runWindows(int argc, char** argv, const std::string& programFolder)
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
    tarvex::StartupSequence sequence(programFolder, prompter, shell, fileCopy, tarvex::systemLocalTime,
                                     [&](tarvex::RunState& run) { return tarvex::runReviewWindow(run, prompter); });
    tarvex::frmSplash splash([&] { return sequence.run(); });
    splash.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit reached while writing the backup must fail the write
    // (EFBIG), which removes the partial copy and says so, not kill the run.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    tarvex::CommandLine line = tarvex::CommandLine::parse(arguments, tarvex::displayAvailable());
    std::string folder = tarvex::programFolder(argv[0]);

    // Printing a PDF needs fonts, hence a GUI application; the terminal gets
    // one on the "offscreen" platform, made on the first print only.
    std::unique_ptr<QGuiApplication> offscreen;
    static char programName[] = "tarvex";
    static char platformOption[] = "-platform";
    static char platformName[] = "offscreen";
    static char* offscreenArgv[] = {programName, platformOption, platformName, nullptr};
    static int offscreenArgc = 3;
    auto printPdf = [&](const std::vector<tarvex::ProposedChange>& rows, const std::string& path) {
        if (!QGuiApplication::instance())
            offscreen = std::make_unique<QGuiApplication>(offscreenArgc, offscreenArgv);
        return tarvex::printListToPdf(rows, path);
    };

    std::optional<int> status =
        tarvex::runWithoutWindows(line, folder, std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                                  ::isatty(STDIN_FILENO) == 1, printPdf);
    if (status)
        return *status;
    return runWindows(argc, argv, folder);
}
