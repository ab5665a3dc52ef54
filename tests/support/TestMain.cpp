// Entry point of every test program: the signals the program handles at
// their defaults, the offscreen Qt platform, one QApplication for the widget
// tests, a settings folder of the program's own, then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    // The tests expect each signal the program handles to have its default
    // effect when they start, whatever the shell that ran them had set: a run
    // under nohup ignores SIGHUP, some runners block or ignore others. The
    // tests of an inherited SIG_IGN set it themselves.
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ}) {
        std::signal(signal, SIG_DFL);
        sigaddset(&handled, signal);
    }
    sigprocmask(SIG_UNBLOCK, &handled, nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // No test reads or writes the user's real settings: XDG_CONFIG_HOME names
    // an empty folder made for this test program (and inherited by the
    // programs the end-to-end tests start), removed at the end.
    std::string configHome = (std::filesystem::temp_directory_path() / "tarvex-test-config-XXXXXX").string();
    if (!mkdtemp(configHome.data()))
        return 1;
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(configHome);
    return result;
}
