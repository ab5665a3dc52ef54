// The program's entry: the splash window, whose timer runs the start-up
// sequence with the windowed prompts and hands over to the review window.
#include "platform/FileCopy.h"
#include "platform/Shell.h"
#include "platform/qt/QtPrompter.h"
#include "review/qt/ReviewWindow.h"
#include "startup/StartupSequence.h"
#include "startup/qt/frmSplash.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tarvex::QtPrompter prompter;
    tarvex::SystemShell shell;
    tarvex::SystemFileCopy fileCopy;
    tarvex::StartupSequence sequence(QCoreApplication::applicationDirPath().toStdString(), prompter, shell, fileCopy,
                                     tarvex::systemLocalTime,
                                     [&](tarvex::RunState& run) { return tarvex::runReviewWindow(run, prompter); });
    tarvex::frmSplash splash([&] { return sequence.run(); });
    splash.show();
    return app.exec();
}
