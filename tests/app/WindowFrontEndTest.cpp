// The run in windows as the program wires it: the splash runs the start-up,
// and the application ends with the exit status of how the run ended.
#include "app/WindowFrontEnd.h"
#include "app/ExitStatus.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace tarvex::test {

namespace {

// runInWindows under a watchdog that ends the event loop with -1 should the
// run never end it, so that such a fault fails the test instead of hanging it.
int runGuarded(const std::string& programFolder, Prompter& prompter)
{
    SystemShell shell;
    SystemFileCopy fileCopy;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    watchdog.start(60000);
    return runInWindows(programFolder, prompter, shell, fileCopy);
}

TEST(WindowFrontEndTest, TheApplicationEndsWithTheRunsExitStatus)
{
    TempDir dir;

    // No update database beside the program: an error message, then status 1.
    ScriptedPrompter failing;
    EXPECT_EQ(runGuarded(dir.path().string(), failing), kExitError);
    ASSERT_EQ(failing.messages.size(), 1u);
    EXPECT_EQ(failing.messages[0].text, "Error Loading database");

    // No to the vendor ends the run by the user's choice: status 0.
    makeUpdateDatabase(dir.file("invupdate.mdb"), {"Acme"}, {{1, "A1", "", 5.0, 9.0}});
    ScriptedPrompter declining;
    declining.answer(Answer::No);
    EXPECT_EQ(runGuarded(dir.path().string(), declining), kExitOk);
    ASSERT_EQ(declining.messages.size(), 1u);
    EXPECT_EQ(declining.messages[0].caption, "Notice");
}

} // namespace

} // namespace tarvex::test
