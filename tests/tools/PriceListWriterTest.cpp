// The update database the price-list maker writes, checked by opening it with
// the program's own engine; the whole-or-nothing writing of the file; and the
// tarvex-pricelist program run as a separate process.
#include "pricelist/PriceListWriter.h"
#include "common/NewDatabaseFile.h"

#include "data/UpdateDatabase.h"
#include "platform/Database.h"
#include "support/ProcessRunner.h"
#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// The names in a folder, sorted: what a run left behind.
std::vector<std::string> folderContents(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<PriceListEntry> someEntries()
{
    return {
        {2, "SH-1", "Shampoo, 300 ml", 6.4, 15.99, false},
        {3, "cn-2", "Conditioner", std::nullopt, 9.5, false},
        {4, "AB-3", "Old brush", 1.0, std::nullopt, true},
        {5, "sh-1", "Shampoo, 300 ml (new)", 6.6, 16.49, false},
    };
}

TEST(PriceListWriterTest, WritesAnUpdateDatabaseTheProgramOpensAndReads)
{
    TempDir dir;
    std::string path = dir.file("invupdate.mdb");
    Status written = PriceListWriter::write(path, "Lumen Professional", someEntries(), false);
    ASSERT_TRUE(written.ok()) << written.error();
    EXPECT_EQ(integrityCheck(path), "ok");

    Result<Database> db = openUpdateDatabase(path);
    ASSERT_TRUE(db.ok()) << db.error();
    Result<std::string> vendor = firstVendorName(*db);
    ASSERT_TRUE(vendor.ok()) << vendor.error();
    EXPECT_EQ(*vendor, "Lumen Professional");

    Result<Recordset> products = db->openTable("product", {"ID", "quickid", "Name", "cost", "retailprice", "Delete"});
    ASSERT_TRUE(products.ok()) << products.error();
    // The listing order is by code, letter case ignored, then by ID.
    ASSERT_TRUE(products->setIndex("UpdateID").ok());
    std::vector<std::int64_t> order;
    for (Status s = products->moveFirst(); s.ok() && !products->eof(); s = products->moveNext())
        order.push_back(**products->integer("ID"));
    EXPECT_THAT(order, ElementsAre(3, 2, 1, 4));

    ASSERT_TRUE(products->setIndex("Primarykey").ok());
    ASSERT_TRUE(products->seek(Key{std::int64_t{2}}).ok());
    ASSERT_FALSE(products->noMatch());
    EXPECT_EQ(**products->text("quickid"), "cn-2");
    EXPECT_FALSE(products->number("cost")->has_value());
    EXPECT_EQ(**products->number("retailprice"), 9.5);
    EXPECT_EQ(**products->integer("Delete"), 0);
    ASSERT_TRUE(products->seek(Key{std::int64_t{3}}).ok());
    EXPECT_EQ(**products->integer("Delete"), 1);
    EXPECT_FALSE(products->number("retailprice")->has_value());
    EXPECT_EQ(**products->text("Name"), "Old brush");

    // A new file gets the permissions of any new file of the user, not the
    // private ones of a temporary file.
    mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    EXPECT_THAT(folderContents(dir), ElementsAre("invupdate.mdb"));
}

TEST(PriceListWriterTest, AnExistingFileIsReplacedOnlyWhenAskedTo)
{
    TempDir dir;
    std::string path = dir.write("invupdate.mdb", "the vendor's previous list");
    Status refused = PriceListWriter::write(path, "V", someEntries(), false);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), path + ": already exists");
    EXPECT_EQ(readFile(path), "the vendor's previous list");
    EXPECT_THAT(folderContents(dir), ElementsAre("invupdate.mdb"));

    Status replaced = PriceListWriter::write(path, "V", someEntries(), true);
    ASSERT_TRUE(replaced.ok()) << replaced.error();
    EXPECT_TRUE(openUpdateDatabase(path).ok());
    EXPECT_THAT(folderContents(dir), ElementsAre("invupdate.mdb"));
}

TEST(PriceListWriterTest, AFileMadeByAnotherProgramMeanwhileIsNotOverwritten)
{
    TempDir dir;
    std::string path = dir.file("invupdate.mdb");
    {
        Result<NewDatabaseFile> file = NewDatabaseFile::create(path, false);
        ASSERT_TRUE(file.ok()) << file.error();
        ASSERT_TRUE(file->execute("CREATE TABLE t (x)").ok());
        dir.write("invupdate.mdb", "arrived meanwhile");
        Status committed = file->commit();
        EXPECT_FALSE(committed.ok());
        EXPECT_THAT(committed.error(), HasSubstr("already exists"));
    }
    EXPECT_EQ(readFile(path), "arrived meanwhile");
    // The temporary file went with the writer.
    EXPECT_THAT(folderContents(dir), ElementsAre("invupdate.mdb"));
}

TEST(PriceListWriterTest, AFailedOrAbandonedWriteLeavesNothingBehind)
{
    TempDir dir;
    {
        Result<NewDatabaseFile> file = NewDatabaseFile::create(dir.file("kv.mdb"), false);
        ASSERT_TRUE(file.ok()) << file.error();
        ASSERT_TRUE(file->execute("BEGIN; CREATE TABLE t (x); INSERT INTO t VALUES (1)").ok());
        EXPECT_THAT(folderContents(dir), ElementsAre("kv.mdb.part", "kv.mdb.part-journal"));
        EXPECT_FALSE(file->execute("INSERT INTO missing VALUES (1)").ok());
    }
    EXPECT_TRUE(folderContents(dir).empty());

    std::string inMissingFolder = dir.file("no/such/folder/invupdate.mdb");
    Status failed = PriceListWriter::write(inMissingFolder, "V", someEntries(), false);
    EXPECT_FALSE(failed.ok());
    EXPECT_THAT(failed.error(), HasSubstr(inMissingFolder + ".part: cannot create"));

    std::filesystem::create_directory(dir.file("folder.mdb"));
    Status onFolder = PriceListWriter::write(dir.file("folder.mdb"), "V", someEntries(), true);
    EXPECT_EQ(onFolder.error(), dir.file("folder.mdb") + ": is a folder, not a file");
    EXPECT_THAT(folderContents(dir), ElementsAre("folder.mdb"));
}

class PriceListProgramTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string output = dir.file("invupdate.mdb");

    ProcessResult run(std::vector<std::string> args)
    {
        args.insert(args.begin(), builtProgram("tarvex-pricelist"));
        return runProcess(args);
    }
};

TEST_F(PriceListProgramTest, WritesTheSamplePriceListAndWarnsAboutRepeatedCodes)
{
    std::string sample = std::string(TARVEX_SOURCE_DIR) + "/samples/vendor-prices.csv";
    ProcessResult result = run({"--vendor", "Lumen Professional", "-o", output, sample});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("Wrote " + output));
    EXPECT_THAT(result.err, HasSubstr(sample + ", line "));
    EXPECT_THAT(result.err, HasSubstr("already appears on line"));

    Result<Database> db = openUpdateDatabase(output);
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_EQ(*firstVendorName(*db), "Lumen Professional");
}

TEST_F(PriceListProgramTest, ARefusedPriceListWritesNothingAndNamesEveryBadLine)
{
    std::string csv = dir.write("prices.csv", "code,name,cost,price\nA,ok,1,2\n,missing,1,2\nC,bad,1,x\n");
    ProcessResult result = run({"--vendor", "V", "-o", output, csv});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr(csv + ", line 3: the product code is missing"));
    EXPECT_THAT(result.err, HasSubstr(csv + ", line 4: retail price \"x\" is not a number"));
    EXPECT_THAT(result.err, HasSubstr("nothing was written"));
    EXPECT_THAT(folderContents(dir), ElementsAre("prices.csv"));
}

TEST_F(PriceListProgramTest, KeepsAnExistingFileUnlessForced)
{
    std::string csv = dir.write("prices.csv", "code,name,cost,price\nA,ok,1,2\n");
    dir.write("invupdate.mdb", "keep me");
    ProcessResult kept = run({"--vendor", "V", "-o", output, csv});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_THAT(kept.err, HasSubstr("already exists (give --force to replace it)"));
    EXPECT_EQ(readFile(output), "keep me");

    ProcessResult forced = run({"--force", "--vendor=V", "--output=" + output, csv});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_TRUE(openUpdateDatabase(output).ok());
    EXPECT_THAT(folderContents(dir), ElementsAre("invupdate.mdb", "prices.csv"));
}

TEST_F(PriceListProgramTest, AWrongCommandLineIsAUsageErrorAndHelpIsShown)
{
    std::string csv = dir.write("prices.csv", "code,name,cost,price\nA,ok,1,2\n");
    std::vector<std::vector<std::string>> wrong = {
        {},
        {"-o", output, csv},
        {"--vendor", "", "-o", output, csv},
        {"--vendor", "V", csv},
        {"--vendor", "V", "-o", output},
        {"--vendor", "V", "-o", output, csv, csv},
        {"--vendor", "V", "-o", output, "--colour", csv},
        {"--vendor", "V", "-o"},
        // Replacing the price list with the database would lose it.
        {"--force", "--vendor", "V", "-o", csv, csv},
    };
    for (const auto& args : wrong) {
        ProcessResult result = run(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args) << result.err;
        EXPECT_THAT(result.err, HasSubstr("--help")) << ::testing::PrintToString(args);
    }
    EXPECT_THAT(folderContents(dir), ElementsAre("prices.csv"));
    EXPECT_EQ(readFile(csv), "code,name,cost,price\nA,ok,1,2\n");

    ProcessResult help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("Usage: tarvex-pricelist --vendor NAME -o FILE"));
}

} // namespace
