// The desktop folder and shortcut targets, over real files: user-dirs
// settings, symbolic links, desktop entries and Windows shortcuts written in
// their binary format.
#include "platform/os/Shell.h"

#include "support/EnvOverride.h"
#include "support/LnkWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;
namespace fs = std::filesystem;

namespace {

class SystemShellTest : public ::testing::Test {
protected:
    TempDir dir;
    SystemShell shell;
    EnvOverride home{"HOME", dir.file("home")};
    EnvOverride config{"XDG_CONFIG_HOME", std::nullopt};
    EnvOverride wine{"WINEPREFIX", dir.file("no-wine")};

    void SetUp() override { fs::create_directories(dir.file("home")); }
};

TEST_F(SystemShellTest, DesktopFolderFollowsUserDirsThenDesktopThenHome)
{
    std::string home = dir.file("home");
    EXPECT_EQ(shell.desktopFolder(), home);

    fs::create_directories(home + "/Desktop");
    EXPECT_EQ(shell.desktopFolder(), home + "/Desktop");

    fs::create_directories(home + "/Schreibtisch");
    dir.write("home/.config/user-dirs.dirs", "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                             "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(shell.desktopFolder(), home + "/Schreibtisch");

    // XDG_CONFIG_HOME moves the settings; an absolute value with an escaped quote.
    fs::create_directories(dir.file("my \"desk\""));
    dir.write("cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + dir.file("my \\\"desk\\\"") + "\"\n");
    EnvOverride moved("XDG_CONFIG_HOME", dir.file("cfg"));
    EXPECT_EQ(shell.desktopFolder(), dir.file("my \"desk\""));

    // A named folder that does not exist falls back to ~/Desktop.
    dir.write("cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Gone\"\n");
    EXPECT_EQ(shell.desktopFolder(), home + "/Desktop");
}

TEST_F(SystemShellTest, SymbolicLinksResolveToTheirTargetUnlessDanglingOrLooping)
{
    std::string program = dir.write("Host/host.exe", "MZ");
    fs::create_symlink(program, dir.file("direct"));
    fs::create_symlink("direct", dir.file("chained"));
    EXPECT_EQ(shell.shortcutTarget(dir.file("direct")), program);
    EXPECT_EQ(shell.shortcutTarget(dir.file("chained")), program);

    // A link to a shortcut leads where the shortcut leads.
    fs::create_directories(dir.file("kept"));
    writeLnk(dir.file("kept/Brindle.lnk"), {.localPath = "/srv/brindle/host.exe"});
    fs::create_symlink(dir.file("kept/Brindle.lnk"), dir.file("linked.lnk"));
    EXPECT_EQ(shell.shortcutTarget(dir.file("linked.lnk")), "/srv/brindle/host.exe");

    fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
    fs::create_symlink(dir.file("loop-b"), dir.file("loop-a"));
    fs::create_symlink(dir.file("loop-a"), dir.file("loop-b"));
    EXPECT_EQ(shell.shortcutTarget(dir.file("dangling")), std::nullopt);
    EXPECT_EQ(shell.shortcutTarget(dir.file("loop-a")), std::nullopt);
    EXPECT_EQ(shell.shortcutTarget(dir.file("missing.lnk")), std::nullopt);
}

TEST_F(SystemShellTest, DesktopEntriesResolveToTheProgramOfTheirExecKey)
{
    auto entry = [&](const std::string& body) {
        return shell.shortcutTarget(dir.write("host.desktop", "[Desktop Entry]\nType=Application\nName=Host\n" + body));
    };
    EXPECT_EQ(entry("Exec=/opt/brindle/host.exe --logon %f\n"), "/opt/brindle/host.exe");
    EXPECT_EQ(entry("Exec = /opt/brindle/host.exe\r\n"), "/opt/brindle/host.exe");
    EXPECT_EQ(entry("Exec=\"/opt/Brindle Quorra/host.exe\" %u\n"), "/opt/Brindle Quorra/host.exe");
    // Escapes: \\\\ in the file is one literal backslash inside quotes, \\" a quote, \s a blank.
    EXPECT_EQ(entry("Exec=\"/opt/a\\\\\\\\b/\\\\\"q\\\\\"/host\"\n"), "/opt/a\\b/\"q\"/host");
    EXPECT_EQ(entry("Exec=\"/opt/with\\sblank/host\"\n"), "/opt/with blank/host");
    EXPECT_EQ(entry("Exec=/opt/with\\sblank/host\n"), "/opt/with"); // an unquoted blank ends the word
    // The first Exec of the main group counts, not an action's.
    EXPECT_EQ(entry("Exec=/opt/first\nExec=/opt/second\n[Desktop Action New]\nExec=/opt/action\n"), "/opt/first");
    EXPECT_EQ(entry("Name=No program\n[Desktop Action New]\nExec=/opt/action\n"), std::nullopt);
    EXPECT_EQ(entry("Exec=\"/opt/unterminated\n"), std::nullopt);
    EXPECT_EQ(entry("Exec=\n"), std::nullopt);

    // A bare program name is looked up in PATH like the desktop does.
    std::string bin = dir.write("bin/brindle", "#!/bin/sh\n");
    fs::permissions(bin, fs::perms::owner_all);
    EnvOverride path("PATH", "/nonexistent:" + dir.file("bin"));
    EXPECT_EQ(entry("Exec=brindle\n"), bin);
    EXPECT_EQ(entry("Exec=unknown-program\n"), "unknown-program");

    EXPECT_EQ(shell.shortcutTarget(dir.write("notes.desktop", "just some text\nExec=/opt/x\n")), std::nullopt);
}

TEST_F(SystemShellTest, WindowsShortcutsResolveToTheirTargetPath)
{
    std::string lnk = dir.file("Brindle.lnk");
    writeLnk(lnk, {.localPath = "/srv/brindle/host.exe", .relativePath = "..\\elsewhere\\host.exe"});
    EXPECT_EQ(shell.shortcutTarget(lnk), "/srv/brindle/host.exe");

    // Windows separators become this system's, so the folder part is found.
    writeLnk(lnk, {.localPath = "C:\\Host\\host.exe"});
    EXPECT_EQ(shell.shortcutTarget(lnk), "C:/Host/host.exe");

    // A drive that exists in the Wine prefix leads into it.
    fs::create_directories(dir.file("wine/drive_c/Host"));
    fs::create_directories(dir.file("wine/dosdevices"));
    fs::create_directory_symlink("../drive_c", dir.file("wine/dosdevices/c:"));
    {
        EnvOverride prefix("WINEPREFIX", dir.file("wine"));
        EXPECT_EQ(shell.shortcutTarget(lnk), dir.file("wine/dosdevices/c:") + "/Host/host.exe");
    }

    // Without a local path: the relative path from the shortcut's folder,
    // then the network path.
    writeLnk(lnk, {.relativePath = "..\\Host\\host.exe"});
    EXPECT_EQ(shell.shortcutTarget(lnk), dir.path().parent_path().string() + "/Host/host.exe");
    // A shortcut named without a folder is in the current folder, and so is
    // the start of its relative path.
    fs::path old = fs::current_path();
    fs::current_path(dir.path());
    std::optional<std::string> bare = shell.shortcutTarget("Brindle.lnk");
    fs::current_path(old);
    EXPECT_EQ(bare, "../Host/host.exe");
    writeLnk(lnk, {.networkShare = "\\\\server\\brindle", .pathSuffix = "Host\\host.exe"});
    std::optional<std::string> network = shell.shortcutTarget(lnk);
    ASSERT_TRUE(network.has_value());
    EXPECT_EQ(network->substr(0, 17), "//server/brindle/");
    EXPECT_EQ(network->substr(network->size() - 13), "Host/host.exe");
}

TEST_F(SystemShellTest, FilesThatAreNoShortcutGiveNothing)
{
    std::string whole = lnkBytes({.localPath = "C:\\Host\\host.exe"});
    for (std::size_t size : {std::size_t{0}, std::size_t{20}, std::size_t{76}, std::size_t{90}, whole.size() - 12})
        EXPECT_EQ(shell.shortcutTarget(dir.write("cut.lnk", whole.substr(0, size))), std::nullopt) << size;
    EXPECT_EQ(shell.shortcutTarget(dir.write("photo.lnk", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'x'))),
              std::nullopt);
    EXPECT_EQ(shell.shortcutTarget(dir.write("text.lnk", "C:\\Host\\host.exe\n")), std::nullopt);
    fs::create_directories(dir.file("folder.lnk"));
    EXPECT_EQ(shell.shortcutTarget(dir.file("folder.lnk")), std::nullopt);
    EXPECT_EQ(shell.shortcutTarget("/dev/zero"), std::nullopt);
}

} // namespace
