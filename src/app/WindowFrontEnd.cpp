// The splash, the start-up and the review window wired together.
#include "app/WindowFrontEnd.h"

#include "app/ExitStatus.h"
#include "app/ReviewWindow.h"
#include "startup/StartupSequence.h"
#include "startup/qt/SplashWindow.h"

#include <QCoreApplication>

namespace tarvex {

int runInWindows(const std::string& programFolder, Prompter& prompter, Shell& shell, FileCopy& fileCopy)
{
    StartupSequence sequence(programFolder, prompter, shell, fileCopy, systemLocalTime,
                             [&](RunState& run) { return runReviewWindow(run, prompter); });
    SplashWindow splash([&] { return sequence.run(); });
    QObject::connect(&splash, &SplashWindow::finished, [](RunEnd end) { QCoreApplication::exit(exitStatus(end)); });
    splash.show();
    return QCoreApplication::exec();
}

} // namespace tarvex
