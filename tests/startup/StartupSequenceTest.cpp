// The whole start-up sequence against real files: the vendor question, the
// user's refusals, a host database that is not located, the backup made
// before the host database is opened and a cancelled one, the price list
// asked for, and a chosen location remembered. Bad price lists, host files
// and settings, each with the message its run ends with, are the
// table-driven cases of tests/reliability.
#include "StartupFixture.h"

#include "data/HostLocator.h"

#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

using StartupSequenceTest = StartupFixture;

void expectCritical(const Message& message, const std::string& text, const std::string& caption)
{
    EXPECT_EQ(message.text, text);
    EXPECT_EQ(message.caption, caption);
    EXPECT_EQ(message.icon, MessageIcon::Critical);
    EXPECT_EQ(message.buttons, MessageButtons::Ok);
}

TEST_F(StartupSequenceTest, TheVendorPromptNamesTheFirstVendorWithNoBlankBeforeIt)
{
    standardSetup({"Acme"});
    runSequence();
    ASSERT_FALSE(prompter.messages.empty());
    const Message& prompt = prompter.messages.front();
    EXPECT_EQ(prompt.text, "You are running Standard Pricing Update for Vendor:Acme, Continue?");
    EXPECT_EQ(prompt.caption, "Notice");
    EXPECT_EQ(prompt.buttons, MessageButtons::YesNo);
    EXPECT_EQ(prompt.icon, MessageIcon::None);

    std::filesystem::remove(program + "/invupdate.mdb");
    makeUpdateDatabase(program + "/invupdate.mdb", {"Brightline Beauty", "Acme", "Zenith"}, {{1, "A1", "Gel"}});
    prompter.messages.clear();
    runSequence();
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.front().text,
              "You are running Standard Pricing Update for Vendor:Brightline Beauty, Continue?");
}

TEST_F(StartupSequenceTest, NoToTheVendorOrCancelToTheBackupNoticeEndsTheRunQuietly)
{
    standardSetup();
    prompter.answer(Answer::No);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(dataFiles(), std::vector<std::string>{"kv.mdb"});

    prompter.messages.clear();
    prompter.answer(Answer::Yes).answer(Answer::Cancel);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(lastMessage().text,
              "The Tarvex program will backup your data before starting, This may take several minutes.");
    EXPECT_EQ(lastMessage().caption, "Backup Data");
    EXPECT_EQ(lastMessage().buttons, MessageButtons::OkCancel);
    EXPECT_EQ(lastMessage().icon, MessageIcon::None);
    EXPECT_EQ(dataFiles(), std::vector<std::string>{"kv.mdb"});
    EXPECT_FALSE(handedOver);
}

TEST_F(StartupSequenceTest, ADatabaseThatIsNotLocatedEndsTheRun)
{
    standardSetup();
    std::filesystem::remove(program + "/Merlow.INI");
    prompter.answer(Answer::Yes).chooseNext(std::nullopt);
    EXPECT_EQ(runSequence(), RunEnd::Error);
    ASSERT_EQ(prompter.fileChoices.size(), 1u);
    EXPECT_EQ(prompter.fileChoices.front().startFolder, shell.desktop);
    expectCritical(lastMessage(), "Database not located", "Error");
    EXPECT_EQ(dataFiles(), std::vector<std::string>{"kv.mdb"});
}

TEST_F(StartupSequenceTest, AFullStartUpBacksUpOpensAndHandsOver)
{
    standardSetup();
    ::chmod(host.c_str(), 0640);
    std::string before = readFile(host);
    prompter.answer(Answer::Yes).answer(Answer::Ok);

    EXPECT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_EQ(prompter.messages.size(), 2u);
    ASSERT_TRUE(handedOver);
    EXPECT_EQ(handedHostPath, host);
    EXPECT_EQ(handedBackupPath, expectedBackup);
    EXPECT_EQ(readFile(expectedBackup), before);
    EXPECT_EQ(integrityCheck(expectedBackup), "ok");
    struct stat info {};
    ASSERT_EQ(::stat(expectedBackup.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dataFiles(), (std::vector<std::string>{"kv.mdb", "kv.mdb_Tarvex_12062026215742"}));
    EXPECT_EQ(prompter.busyChanges, std::vector<bool>{true});
    EXPECT_GT(eventRunsAtHandOver, 0);
    EXPECT_EQ(prompter.progressTitles, std::vector<std::string>{"Backup Data"});
}

TEST_F(StartupSequenceTest, TwoRunsInTheSameSecondKeepBothBackups)
{
    standardSetup();
    prompter.answer(Answer::Yes).answer(Answer::Ok).answer(Answer::Yes).answer(Answer::Ok);
    ASSERT_EQ(runSequence(), RunEnd::Normal);
    std::string first = readFile(expectedBackup);
    execSql(host, "UPDATE product SET cost = 99");
    ASSERT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_EQ(handedBackupPath, expectedBackup + "_2");
    EXPECT_EQ(readFile(expectedBackup), first) << "the first backup is never overwritten";
    EXPECT_EQ(readFile(expectedBackup + "_2"), readFile(host));
}

TEST_F(StartupSequenceTest, ACancelledCopyLeavesNothingAndOpensNothing)
{
    standardSetup();
    prompter.answer(Answer::Yes).answer(Answer::Ok);
    prompter.cancelProgressAt(1);
    EXPECT_EQ(runSequence(), RunEnd::Error);
    ASSERT_EQ(prompter.messages.size(), 3u);
    const Message& message = lastMessage();
    EXPECT_EQ(message.caption, "Backup Data");
    EXPECT_EQ(message.icon, MessageIcon::Critical);
    EXPECT_NE(message.text.find(host), std::string::npos) << message.text;
    EXPECT_NE(message.text.find("nothing has been changed"), std::string::npos) << message.text;
    EXPECT_NE(message.detail.find("cancelled"), std::string::npos) << message.detail;
    EXPECT_EQ(dataFiles(), std::vector<std::string>{"kv.mdb"});
    EXPECT_FALSE(handedOver);
}

TEST_F(StartupSequenceTest, AnInstalledProgramAsksForThePriceListAndReadsMerlowIniBesideIt)
{
    askForPriceList = true;
    makeHostDatabase(host, {{"A1", 3.0, 8.0}});
    std::string prices = dir.file("vendor/Acme prices.mdb");
    std::filesystem::create_directories(dir.file("vendor"));
    makeUpdateDatabase(prices, {"Acme"}, {{1, "A1", "Shampoo", 4.0, 9.0}});
    dir.write("vendor/Merlow.INI", "[Settings]\nDBLocation=" + host + "\n");

    // Cancelling the dialog is no error: the run ends as on No to the vendor.
    prompter.chooseNext(std::nullopt);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_EQ(prompter.fileChoices.size(), 1u);
    EXPECT_EQ(prompter.fileChoices[0].title, "Select the vendor's price list");
    EXPECT_EQ(prompter.fileChoices[0].patterns, (std::vector<std::string>{"*.mdb", "*.accdb"}));
    EXPECT_EQ(prompter.fileChoices[0].startFolder, dir.file("home"));

    prompter.messages.clear();
    prompter.chooseNext(prices).answer(Answer::Yes).answer(Answer::Ok);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_EQ(prompter.messages.front().text, "You are running Standard Pricing Update for Vendor:Acme, Continue?");
    EXPECT_EQ(prompter.fileChoices.size(), 2u) << "the host location came from the price list's folder";
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(handedHostPath, host);
}

// The question comes once a shortcut chosen in the dialog led to a host
// database that opened: No (or the end of the terminal's input) stores
// nothing, Yes stores it for the next run, which then asks neither.
TEST_F(StartupSequenceTest, AChosenLocationIsRememberedOnlyOnYes)
{
    standardSetup();
    std::filesystem::remove(program + "/Merlow.INI");
    std::string shortcut = shortcutTo(host);
    std::string user = userSettingsFile();

    prompter.answer(Answer::Yes).answer(Answer::Ok).answer(Answer::No).chooseNext(shortcut);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(lastMessage().text, "Remember this location for the next price updates?");
    EXPECT_EQ(lastMessage().buttons, MessageButtons::YesNo);
    EXPECT_NE(lastMessage().detail.find(user), std::string::npos) << lastMessage().detail;
    EXPECT_TRUE(handedOver);
    EXPECT_FALSE(std::filesystem::exists(dir.file("config/tarvex")));

    prompter.messages.clear();
    prompter.answer(Answer::Yes).answer(Answer::Ok).answer(Answer::Yes).chooseNext(shortcut);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(readFile(user), "[Settings]\nDBLocation=" + host + "\n");
    EXPECT_FALSE(std::filesystem::exists(program + "/Merlow.INI")) << "the vendor's folder is never written";

    prompter.messages.clear();
    handedOver = false;
    prompter.answer(Answer::Yes).answer(Answer::Ok);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    EXPECT_EQ(prompter.fileChoices.size(), 2u);
    EXPECT_EQ(prompter.messages.size(), 2u) << "a stored location is not offered again";
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(handedHostPath, host);
}

TEST_F(StartupSequenceTest, NothingIsOfferedForAHostThatDoesNotOpenAndAFailedStoreLetsTheRunGoOn)
{
    standardSetup();
    std::filesystem::remove(program + "/Merlow.INI");
    std::string shortcut = shortcutTo(data + "/gone/kv.mdb");
    prompter.answer(Answer::Yes).answer(Answer::Ok).chooseNext(shortcut);
    EXPECT_EQ(runSequence(), RunEnd::Error);
    expectCritical(lastMessage(), "Unable to Open Database", "Critical Error");
    EXPECT_EQ(prompter.messages.size(), 3u);

    // The user's file is a link to another program's settings: left as it is.
    std::string other = dir.write("other.ini", "[Printing]\nFont=Mono\n");
    std::filesystem::create_directories(dir.file("config/tarvex"));
    std::filesystem::create_symlink(other, userSettingsFile());
    shell.targets[shortcut] = host;
    prompter.messages.clear();
    prompter.answer(Answer::Yes).answer(Answer::Ok).answer(Answer::Yes).chooseNext(shortcut);
    EXPECT_EQ(runSequence(), RunEnd::Normal);
    ASSERT_EQ(prompter.messages.size(), 4u);
    EXPECT_EQ(lastMessage().text, "The location was not remembered.");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Exclamation);
    EXPECT_NE(lastMessage().detail.find("did not write"), std::string::npos) << lastMessage().detail;
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(readFile(other), "[Printing]\nFont=Mono\n");
}

} // namespace
