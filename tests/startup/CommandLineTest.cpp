// Which action, front end and vendor's files the arguments, the display and
// the program's place choose.
#include "startup/CommandLine.h"

#include "startup/VendorFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvex;
using Action = CommandLine::Action;
using FrontEnd = CommandLine::FrontEnd;

TEST(CommandLineTest, FrontEndFollowsTheDisplayUnlessConsoleIsAsked)
{
    EXPECT_EQ(CommandLine::parse({}, true).frontEnd, FrontEnd::Windows);
    EXPECT_EQ(CommandLine::parse({}, false).frontEnd, FrontEnd::Terminal);
    CommandLine console = CommandLine::parse({"--console"}, true);
    EXPECT_EQ(console.action, Action::Run);
    EXPECT_EQ(console.frontEnd, FrontEnd::Terminal);
}

TEST(CommandLineTest, OtherArgumentsAreErrorsThatNameThem)
{
    EXPECT_EQ(CommandLine::parse({"--help"}, true).action, Action::Help);
    EXPECT_EQ(CommandLine::parse({"--version"}, true).action, Action::Version);
    EXPECT_EQ(CommandLine::parse({"--locate"}, false).action, Action::Locate);
    CommandLine bad = CommandLine::parse({"--colour"}, true);
    EXPECT_EQ(bad.action, Action::Error);
    EXPECT_NE(bad.error.find("--colour"), std::string::npos);
    EXPECT_EQ(CommandLine::parse({"--console", "--locate"}, true).action, Action::Error);
}

// --undo takes the whole number right after it as the run to undo, and goes
// with --console; --history goes with nothing but a path.
TEST(CommandLineTest, HistoryAndUndoWithItsRunNumber)
{
    EXPECT_EQ(CommandLine::parse({"--history"}, true).action, Action::History);
    CommandLine latest = CommandLine::parse({"--undo"}, false);
    EXPECT_EQ(latest.action, Action::Undo);
    EXPECT_FALSE(latest.undoRun);
    CommandLine third = CommandLine::parse({"--console", "--undo", "3", "vendor"}, true);
    EXPECT_EQ(third.action, Action::Undo);
    EXPECT_EQ(third.frontEnd, FrontEnd::Terminal);
    EXPECT_EQ(third.undoRun, 3);
    EXPECT_EQ(third.vendorPath, "vendor");
    CommandLine path = CommandLine::parse({"--undo", "--", "3"}, true);
    EXPECT_FALSE(path.undoRun);
    EXPECT_EQ(path.vendorPath, "3");
    EXPECT_EQ(CommandLine::parse({"--undo", "--console"}, true).frontEnd, FrontEnd::Terminal);
    EXPECT_EQ(CommandLine::parse({"--undo", "3", "4"}, true).vendorPath, "4");
    EXPECT_EQ(CommandLine::parse({"--console", "--history"}, true).action, Action::Error);
    EXPECT_EQ(CommandLine::parse({"--undo", "--undo"}, true).action, Action::Error);
    EXPECT_EQ(CommandLine::parse({"--console", "--console", "--undo"}, true).action, Action::Error);
}

TEST(CommandLineTest, OnePathBeforeOrAfterTheOption)
{
    CommandLine folder = CommandLine::parse({"/srv/vendor"}, true);
    EXPECT_EQ(folder.action, Action::Run);
    EXPECT_EQ(folder.frontEnd, FrontEnd::Windows);
    EXPECT_EQ(folder.vendorPath, "/srv/vendor");
    CommandLine console = CommandLine::parse({"prices.mdb", "--console"}, true);
    EXPECT_EQ(console.frontEnd, FrontEnd::Terminal);
    EXPECT_EQ(console.vendorPath, "prices.mdb");
    CommandLine locate = CommandLine::parse({"--locate", "vendor"}, false);
    EXPECT_EQ(locate.action, Action::Locate);
    EXPECT_EQ(locate.vendorPath, "vendor");
    EXPECT_EQ(CommandLine::parse({"--", "-odd name.mdb"}, true).vendorPath, "-odd name.mdb");

    EXPECT_EQ(CommandLine::parse({"a", "b"}, true).action, Action::Error);
    EXPECT_EQ(CommandLine::parse({"--", "--console"}, true).action, Action::Run);
    EXPECT_EQ(CommandLine::parse({"--", "a", "b"}, true).action, Action::Error);
    CommandLine empty = CommandLine::parse({""}, true);
    EXPECT_EQ(empty.action, Action::Error);
    EXPECT_NE(empty.error.find("empty"), std::string::npos);
    EXPECT_NE(usageText().find("FOLDER"), std::string::npos);
}

// A folder gives its invupdate.mdb; any other file is the price list in its
// folder; without either, an installed program with no price list beside
// it asks for one, and one beside its vendor's files runs as before.
TEST(CommandLineTest, TheVendorFilesComeFromThePathOrTheProgramsPlace)
{
    test::TempDir dir;
    std::string vendor = dir.file("vendor");
    std::filesystem::create_directories(vendor);
    std::string prices = dir.write("vendor/Acme prices.mdb", "");

    Result<VendorFiles> fromFolder = findVendorFiles(vendor + "/", "/opt/x", {});
    ASSERT_TRUE(fromFolder.ok()) << fromFolder.error();
    EXPECT_EQ(fromFolder->folder, vendor);
    EXPECT_EQ(fromFolder->updateDatabase, vendor + "/invupdate.mdb");
    EXPECT_FALSE(fromFolder->askForPriceList);

    Result<VendorFiles> fromFile = findVendorFiles(dir.file("vendor/../vendor/Acme prices.mdb"), "/opt/x", {});
    ASSERT_TRUE(fromFile.ok());
    EXPECT_EQ(fromFile->folder, vendor);
    EXPECT_EQ(fromFile->updateDatabase, prices);

    Result<VendorFiles> missing = findVendorFiles(dir.file("nowhere"), "/opt/x", {});
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find(dir.file("nowhere")), std::string::npos) << missing.error();

    std::string bin = dir.file("usr/bin");
    std::filesystem::create_directories(bin);
    Result<VendorFiles> installed = findVendorFiles("", bin, {"/usr/local/bin", dir.file("usr/./bin")});
    EXPECT_TRUE(installed->askForPriceList);
    EXPECT_FALSE(findVendorFiles("", bin, {"/usr/local/bin"})->askForPriceList) << "not installed: as before";
    dir.write("usr/bin/invupdate.mdb", "");
    Result<VendorFiles> beside = findVendorFiles("", bin, {bin});
    EXPECT_FALSE(beside->askForPriceList);
    EXPECT_EQ(beside->folder, bin);
    EXPECT_EQ(beside->updateDatabase, bin + "/invupdate.mdb");
}

// A vendor's folder: invupdate.mdb, then invupdate.accdb, then its only
// database by content (said in foundAs); with several, invupdate.mdb, whose
// open then fails naming it. The program's own folder takes only the names.
TEST(CommandLineTest, AFolderGivesItsPriceListByNameThenItsOnlyDatabase)
{
    test::TempDir dir;
    const std::string sqlite("SQLite format 3\0", 16);
    std::string vendor = dir.file("vendor");
    dir.write("vendor/notes.txt", "not a database");
    struct Case {
        const char* add;
        std::string expected;
        bool said;
    };
    for (const Case& c :
         {Case{"Lumen 2027.accdb", "Lumen 2027.accdb", true}, Case{"other.mdb", "invupdate.mdb", false},
          Case{"invupdate.accdb", "invupdate.accdb", false}, Case{"invupdate.mdb", "invupdate.mdb", false}}) {
        dir.write(std::string("vendor/") + c.add, sqlite);
        Result<VendorFiles> files = findVendorFiles(vendor, "/opt/x", {});
        ASSERT_TRUE(files.ok()) << files.error();
        EXPECT_EQ(files->updateDatabase, vendor + "/" + c.expected) << c.add;
        EXPECT_EQ(files->foundAs.find(vendor + "/" + c.expected) != std::string::npos, c.said) << files->foundAs;
    }

    std::string bin = dir.file("bin");
    dir.write("bin/prices.mdb", sqlite);
    EXPECT_EQ(findVendorFiles("", bin, {bin})->askForPriceList, true) << "any other database beside the program";
    dir.write("bin/invupdate.accdb", sqlite);
    Result<VendorFiles> beside = findVendorFiles("", bin, {bin});
    EXPECT_FALSE(beside->askForPriceList);
    EXPECT_EQ(beside->updateDatabase, bin + "/invupdate.accdb");
}
