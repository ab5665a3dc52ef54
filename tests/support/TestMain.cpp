// Entry point of every test program: the offscreen Qt platform, one
// QApplication for the widget tests, a settings folder of the program's own,
// then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
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
