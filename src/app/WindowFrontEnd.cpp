// The splash, the start-up and the review window wired together.
#include "app/WindowFrontEnd.h"

#include "app/ExitStatus.h"
#include "app/ReviewWindow.h"
#include "startup/StartupSequence.h"
#include "startup/qt/SplashWindow.h"

#include <QCoreApplication>

namespace tarvex {

int runInWindows(const VendorFiles& files, Prompter& prompter, Shell& shell, FileCopy& fileCopy,
                 std::optional<UndoRequest> undo)
{
    StartupSequence sequence(files, prompter, shell, fileCopy, systemLocalTime,
                             [&](RunState& run) { return runReviewWindow(run, prompter); });
    if (undo)
        sequence.setUndo(*undo);
    SplashWindow splash([&] { return sequence.run(); });
    QObject::connect(&splash, &SplashWindow::finished, [](RunEnd end) { QCoreApplication::exit(exitStatus(end)); });
    splash.show();
    return QCoreApplication::exec();
}

} // namespace tarvex
