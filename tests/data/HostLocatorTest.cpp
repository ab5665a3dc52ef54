// The location procedure over real files: Merlow.INI in a program folder and
// in the user's settings folder, logon settings files in host folders, real
// shortcuts picked through a scripted file dialog, and the user's settings
// file written when a location is remembered.
#include "data/HostLocator.h"

#include "data/UserSettingsFile.h"
#include "platform/os/Shell.h"
#include "support/EnvOverride.h"
#include "support/LnkWriter.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;
namespace fs = std::filesystem;

namespace {

class HostLocatorTest : public ::testing::Test {
protected:
    TempDir dir;
    ScriptedPrompter prompter;
    SystemShell shell;
    std::string program = dir.file("program");
    std::string desktop = dir.file("desktop");
    EnvOverride home{"HOME", dir.file("home")};
    EnvOverride config{"XDG_CONFIG_HOME", dir.file("config")};
    EnvOverride systemConfig{"XDG_CONFIG_DIRS", "relative:" + dir.file("xdg1") + ":" + dir.file("xdg2")};
    HostLocator locator{program, prompter, shell};

    void SetUp() override
    {
        fs::create_directories(program);
        fs::create_directories(desktop);
    }
    void storeLocation(const std::string& location)
    {
        dir.write("program/Merlow.INI", "[Settings]\r\nDBLocation=" + location + "\r\n");
    }
    // A Windows shortcut on the desktop to host.exe in the named folder,
    // picked in the dialog.
    void pickShortcutTo(const std::string& folder)
    {
        std::string target = dir.write(folder + "/host.exe", "MZ");
        prompter.chooseNext(writeLnk(desktop + "/Brindle.lnk", {.localPath = target}));
    }
};

TEST_F(HostLocatorTest, StoredLocationIsUsedWithoutAskingWhenNoLogonFileIsBesideIt)
{
    storeLocation(dir.file("data/kv.mdb"));
    fs::create_directories(dir.file("data"));
    EXPECT_EQ(locator.storedLocation(), dir.file("data/kv.mdb"));
    EXPECT_EQ(locator.locate(desktop), dir.file("data/kv.mdb"));
    EXPECT_TRUE(prompter.fileChoices.empty());
    EXPECT_TRUE(prompter.messages.empty());

    // A location whose folder does not exist is passed on as it is; the open
    // reports it later.
    storeLocation("/nonexistent/folder/kv.mdb");
    EXPECT_EQ(locator.locate(desktop), "/nonexistent/folder/kv.mdb");
}

// After the folder's Merlow.INI, the user's own, then the administrator's
// for every user: the first of $XDG_CONFIG_DIRS that stores one.
TEST_F(HostLocatorTest, TheSystemsSettingsComeAfterTheUsersOwn)
{
    dir.write("xdg2/tarvex/Merlow.INI", "[Settings]\nDBLocation=/all/kv.mdb\n");
    EXPECT_EQ(locator.stored().path, "/all/kv.mdb");
    EXPECT_EQ(locator.stored().settingsFile, dir.file("xdg2/tarvex/Merlow.INI"));
    dir.write("xdg1/tarvex/Merlow.INI", "[Settings]\nDBLocation=/first/kv.mdb\n");
    EXPECT_EQ(locator.stored().path, "/first/kv.mdb");
    dir.write("config/tarvex/Merlow.INI", "[Settings]\nDBLocation=/mine/kv.mdb\n");
    EXPECT_EQ(locator.stored().path, "/mine/kv.mdb");
    storeLocation("/folder/kv.mdb");
    EXPECT_EQ(locator.stored().path, "/folder/kv.mdb");
    EXPECT_EQ(settingsFilesAfterTheFolder(),
              (std::vector<std::string>{dir.file("config/tarvex/Merlow.INI"), dir.file("xdg1/tarvex/Merlow.INI"),
                                        dir.file("xdg2/tarvex/Merlow.INI")}));
}

TEST_F(HostLocatorTest, LogonFileBesideTheStoredLocationRedirectsIt)
{
    storeLocation(dir.file("data/kv.mdb"));
    dir.write("data/logon.ini", "[LogOn]\r\nDBPath=" + dir.file("live") + "\r\n");
    EXPECT_EQ(locator.locate(desktop), dir.file("live") + "/kv.mdb");
    EXPECT_TRUE(prompter.fileChoices.empty());
}

TEST_F(HostLocatorTest, ChosenShortcutLeadsThroughKvlogonAndLogonWinsOverIt)
{
    std::string host = dir.file("Host");
    pickShortcutTo("Host");
    dir.write("Host/kvlogon.ini", "[LogOn]\nDataPath=" + host + "/Data\n");
    EXPECT_EQ(locator.locate(desktop), host + "/Data/kv.mdb");

    ASSERT_EQ(prompter.fileChoices.size(), 1u);
    const FileChoice& choice = prompter.fileChoices[0];
    EXPECT_EQ(choice.title, "Select Brindle/Quorra Link");
    EXPECT_EQ(choice.filterName, "Brindle.lnk");
    EXPECT_EQ(choice.patterns, (std::vector<std::string>{"*.lnk", "*.desktop"}));
    EXPECT_EQ(choice.startFolder, desktop);
    // The database itself is offered second, and the dialog says so.
    ASSERT_EQ(choice.otherFilters.size(), 1u);
    EXPECT_EQ(choice.otherFilters[0].patterns, (std::vector<std::string>{"kv.mdb", "*.mdb", "*.accdb"}));
    EXPECT_NE(choice.hint.find("kv.mdb"), std::string::npos) << choice.hint;

    dir.write("Host/logon.ini", "[LogOn]\nDBPath=" + host + "/Live\n");
    prompter.chooseNext(desktop + "/Brindle.lnk");
    EXPECT_EQ(locator.locate(desktop), host + "/Live/kv.mdb");

    // The stored location still comes first.
    storeLocation(dir.file("elsewhere/kv.mdb"));
    EXPECT_EQ(locator.locate(desktop), dir.file("elsewhere/kv.mdb"));
    EXPECT_EQ(prompter.fileChoices.size(), 2u);
}

TEST_F(HostLocatorTest, LogonFileNamesAreFoundWithoutRegardToCase)
{
    std::string data = dir.file("data");
    for (const char* name : {"LogOn.INI", "LOGON.INI", "logon.ini"}) {
        fs::remove_all(data);
        dir.write(std::string("data/") + name, "[LOGON]\ndbpath=/live\n");
        EXPECT_EQ(locator.redirect(data + "/kv.mdb"), "/live/kv.mdb") << name;
    }
    fs::remove_all(data);
    dir.write("data/KVLOGON.Ini", "[logon]\nDATAPATH=/kvlive\n");
    EXPECT_EQ(locator.redirect(data + "/kv.mdb"), "/kvlive/kv.mdb");
    // A folder of that name is no logon file.
    fs::remove_all(data);
    fs::create_directories(data + "/logon.ini");
    EXPECT_EQ(locator.redirect(data + "/kv.mdb"), data + "/kv.mdb");
}

TEST_F(HostLocatorTest, ValuesAreUsedExactlyAsRead)
{
    std::string candidate = dir.file("data/kv.mdb");
    dir.write("data/logon.ini", "[LogOn]\nDBPath=/live/\n");
    EXPECT_EQ(locator.redirect(candidate), "/live//kv.mdb");

    dir.write("data/logon.ini", "[LogOn]\nOther=1\n");
    EXPECT_EQ(locator.redirect(candidate), "/kv.mdb");
    dir.write("data/logon.ini", "[LogOn]\nDBPath=\n");
    EXPECT_EQ(locator.redirect(candidate), "/kv.mdb");

    dir.write("data/logon.ini", "[LogOn]\nDBPath=\"  /live  \"\n");
    EXPECT_EQ(locator.redirect(candidate), "  /live  /kv.mdb");

    std::string longValue = "/" + std::string(600, 'x');
    dir.write("data/logon.ini", "[LogOn]\nDBPath=" + longValue + "\n");
    EXPECT_EQ(locator.redirect(candidate), longValue.substr(0, 499) + "/kv.mdb");

    // The stored location is read the same way: cut, never trimmed inside quotes.
    storeLocation("\" " + dir.file("data") + "/kv.mdb\"");
    EXPECT_EQ(locator.storedLocation(), " " + dir.file("data") + "/kv.mdb");
}

TEST_F(HostLocatorTest, FolderPartIsTheTextBeforeTheLastSlash)
{
    // No "/" at all: the whole candidate is taken as the folder.
    EXPECT_EQ(locator.redirect("kv.mdb"), "kv.mdb");
    dir.write("whole/logon.ini", "[LogOn]\nDBPath=/from-whole\n");
    fs::path old = fs::current_path();
    fs::current_path(dir.path());
    std::string redirected = locator.redirect("whole");
    fs::current_path(old);
    EXPECT_EQ(redirected, "/from-whole/kv.mdb");
}

TEST_F(HostLocatorTest, CancelledOrEmptyChoiceShowsDatabaseNotLocated)
{
    prompter.chooseNext(std::nullopt).chooseNext(std::string());
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(locator.locate(desktop), std::nullopt);
        ASSERT_EQ(prompter.messages.size(), static_cast<std::size_t>(run + 1));
        const Message& message = prompter.messages.back();
        EXPECT_EQ(message.text, "Database not located");
        EXPECT_EQ(message.caption, "Error");
        EXPECT_EQ(message.icon, MessageIcon::Critical);
        EXPECT_EQ(message.buttons, MessageButtons::Ok);
        // What to do next, and where a location may be stored.
        for (const std::string& part : {std::string("kv.mdb"), userSettingsFile(), program + "/Merlow.INI"})
            EXPECT_NE(message.detail.find(part), std::string::npos) << message.detail;
    }
}

TEST_F(HostLocatorTest, TheDatabaseItselfCanBeChosen)
{
    std::string host = dir.write("data/kv.mdb", "");
    prompter.chooseNext(host);
    EXPECT_EQ(locator.locate(desktop), host);
    EXPECT_EQ(locator.chosenLocation(), host);
}

TEST_F(HostLocatorTest, UnreadableShortcutStaysTheCandidate)
{
    std::string broken = dir.write("desktop/Brindle.lnk", lnkBytes({.localPath = "/srv/host.exe"}).substr(0, 80));
    prompter.chooseNext(broken);
    EXPECT_EQ(locator.locate(desktop), broken);

    // A logon file beside the broken shortcut still leads on.
    dir.write("desktop/LogOn.INI", "[LogOn]\nDBPath=/beside\n");
    prompter.chooseNext(broken);
    EXPECT_EQ(locator.locate(desktop), "/beside/kv.mdb");
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(HostLocatorTest, DesktopEntryAndSymbolicLinkShortcutsLeadToTheProgramFolder)
{
    std::string host = dir.file("Host");
    fs::create_directories(host);
    dir.write("Host/host.exe", "MZ");
    dir.write("Host/kvlogon.ini", "[LogOn]\nDataPath=/kv\n");
    prompter.chooseNext(dir.write("desktop/host.desktop", "[Desktop Entry]\nExec=\"" + host + "/host.exe\" %f\n"));
    EXPECT_EQ(locator.locate(desktop), "/kv/kv.mdb");

    fs::create_symlink(host + "/host.exe", desktop + "/host");
    prompter.chooseNext(desktop + "/host");
    EXPECT_EQ(locator.locate(desktop), "/kv/kv.mdb");
}

TEST_F(HostLocatorTest, SettingsFileNameIsFoundWithoutRegardToCase)
{
    dir.write("program/merlow.ini", "[settings]\ndblocation=/stored/kv.mdb\n");
    EXPECT_EQ(locator.storedLocation(), "/stored/kv.mdb");
}

TEST_F(HostLocatorTest, TheUsersSettingsFileServesWhenTheProgramFolderStoresNoLocation)
{
    std::string user = dir.file("config/tarvex/Merlow.INI");
    EXPECT_EQ(userSettingsFile(), user);
    EXPECT_TRUE(locator.stored().settingsFile.empty());

    dir.write("config/tarvex/Merlow.INI", "[Settings]\nDBLocation=/user/kv.mdb\n");
    EXPECT_EQ(locator.stored().path, "/user/kv.mdb");
    EXPECT_EQ(locator.stored().settingsFile, user);
    // A vendor's Merlow.INI without a value does not hide the user's.
    dir.write("program/Merlow.INI", "[Settings]\nDBLocation=\n");
    EXPECT_EQ(locator.locate(desktop), "/user/kv.mdb");
    // One with a value comes first.
    storeLocation("/vendor/kv.mdb");
    EXPECT_EQ(locator.stored().settingsFile, program + "/Merlow.INI");
    EXPECT_EQ(locator.locate(desktop), "/vendor/kv.mdb");
    EXPECT_TRUE(locator.chosenLocation().empty()) << "a stored location is not offered again";
    EXPECT_TRUE(prompter.fileChoices.empty());

    // A relative XDG_CONFIG_HOME is ignored, as an unset one is.
    EnvOverride relative{"XDG_CONFIG_HOME", "config"};
    EXPECT_EQ(userSettingsFile(), dir.file("home") + "/.config/tarvex/Merlow.INI");
}

TEST_F(HostLocatorTest, AChosenShortcutGivesTheValueThatLeadsToTheSameHostDatabase)
{
    std::string host = dir.file("Host");
    pickShortcutTo("Host");
    EXPECT_EQ(locator.locate(desktop), host + "/host.exe");
    EXPECT_EQ(locator.chosenLocation(), host + "/host.exe");

    // Led on by the host application's logon file: the database's own path.
    dir.write("Host/logon.ini", "[LogOn]\nDBPath=" + dir.file("Live") + "\n");
    prompter.chooseNext(desktop + "/Brindle.lnk");
    EXPECT_EQ(locator.locate(desktop), dir.file("Live/kv.mdb"));
    EXPECT_EQ(locator.chosenLocation(), dir.file("Live/kv.mdb"));

    // A logon file beside the database would lead a stored path elsewhere:
    // the shortcut's target is kept instead, which leads to it again.
    dir.write("Live/kvlogon.ini", "[LogOn]\nDataPath=/elsewhere\n");
    prompter.chooseNext(desktop + "/Brindle.lnk");
    EXPECT_EQ(locator.locate(desktop), dir.file("Live/kv.mdb"));
    EXPECT_EQ(locator.chosenLocation(), host + "/host.exe");
    EXPECT_EQ(locator.redirect(locator.chosenLocation()), dir.file("Live/kv.mdb"));
}

TEST_F(HostLocatorTest, ARememberedLocationIsWrittenWholeAndReadsBackExactly)
{
    std::string user = userSettingsFile();
    for (const std::string& value :
         {std::string("/srv/kv.mdb"), std::string(" /blank ends/kv.mdb\t"), std::string("\"/quoted\"/kv.mdb"),
          std::string("'/single'"), std::string("/Donn\u00e9es;x=y/kv.mdb"), "/" + std::string(498, 'x')}) {
        Status stored = storeUserLocation(value, user);
        ASSERT_TRUE(stored.ok()) << stored.error();
        EXPECT_EQ(locator.stored().path, value);
    }
    EXPECT_EQ(fs::status(dir.file("config")).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(dir.file("config/tarvex")).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(user).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("config/tarvex")), fs::directory_iterator()), 1)
        << "nothing is left beside the file";

    // The value as the user may have edited it by hand, with Windows line
    // ends: still this program's file, replaced.
    dir.write("config/tarvex/Merlow.INI", "\r\n[settings]\r\ndblocation = /hand/kv.mdb\r\n");
    EXPECT_TRUE(storeUserLocation("/new/kv.mdb", user).ok());
    EXPECT_EQ(readFile(user), "[Settings]\nDBLocation=/new/kv.mdb\n");
}

TEST_F(HostLocatorTest, ALocationIsNeverStoredOverAFileThatIsNotOurs)
{
    std::string user = userSettingsFile();
    fs::create_directories(dir.file("config/tarvex"));
    auto refused = [&](const std::string& value) {
        Status stored = storeUserLocation(value, user);
        EXPECT_FALSE(stored.ok());
        EXPECT_NE(stored.error().find(user), std::string::npos) << stored.error();
        return stored.error();
    };

    std::string other = dir.write("other.ini", "[Settings]\nDBLocation=/other/kv.mdb\n");
    fs::create_symlink(other, user);
    EXPECT_NE(refused("/new/kv.mdb").find("did not write"), std::string::npos);
    EXPECT_TRUE(fs::is_symlink(user));
    EXPECT_EQ(readFile(other), "[Settings]\nDBLocation=/other/kv.mdb\n");
    fs::remove(user);

    std::string more = "[Settings]\nDBLocation=/a/kv.mdb\n[Printing]\nFont=Mono\n";
    dir.write("config/tarvex/Merlow.INI", more);
    refused("/new/kv.mdb");
    EXPECT_EQ(readFile(user), more);
    fs::remove(user);

    fs::create_directories(user);
    refused("/new/kv.mdb");
    fs::remove(user);

    // A value the file cannot hold as it is.
    refused("/line\nbreak/kv.mdb");
    refused("/" + std::string(499, 'x'));
    refused("");
    EXPECT_FALSE(fs::exists(user));
    EXPECT_TRUE(fs::is_empty(dir.file("config/tarvex")));

    // A file where the settings folder should be.
    fs::remove_all(dir.file("config"));
    dir.write("config", "not a folder");
    refused("/new/kv.mdb");
}

} // namespace
