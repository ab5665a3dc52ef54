// The file-format document for vendors: its CREATE statements are the ones
// the tools and the run record use, and files made from the document with the
// sqlite3 command-line tool, following its own examples, open in the
// program's engine.
#include "data/HostDatabase.h"
#include "data/Schema.h"
#include "data/UpdateDatabase.h"
#include "platform/Database.h"
#include "data/history/RunRecordSchema.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace tarvex;
using namespace tarvex::test;

namespace {

const char* const kSqlite = "/usr/bin/sqlite3";

// The ```sql blocks of the document, each with the "## " heading it is under.
struct SqlBlock {
    std::string heading;
    std::string text;
};

std::vector<SqlBlock> sqlBlocks()
{
    std::istringstream doc(readFile(std::string(TARVEX_SOURCE_DIR) + "/docs/file-format.md"));
    std::vector<SqlBlock> blocks;
    std::string line, heading;
    bool inBlock = false;
    while (std::getline(doc, line)) {
        if (inBlock) {
            if (line == "```")
                inBlock = false;
            else
                blocks.back().text += line + "\n";
        } else if (line == "```sql") {
            inBlock = true;
            blocks.push_back({heading, ""});
        } else if (line.starts_with("## ")) {
            heading = line.substr(3);
        }
    }
    return blocks;
}

// The first block under the heading that starts with prefix.
std::string blockUnder(const std::string& prefix, size_t skip = 0)
{
    for (const SqlBlock& block : sqlBlocks())
        if (block.heading.starts_with(prefix) && skip-- == 0)
            return block.text;
    ADD_FAILURE() << "no sql block under \"" << prefix << "\"";
    return {};
}

// Runs sqlite3 on database with script as its input, in folder.
void runSqlite(const std::string& folder, const std::string& database, const std::string& script)
{
    ProcessOptions options;
    options.input = script;
    options.workingDirectory = folder;
    ProcessResult result = runProcess({kSqlite, "-bail", database}, options);
    ASSERT_EQ(result.exitCode, 0) << result.err << "\nin:\n" << script;
    ASSERT_EQ(result.err, "");
}

class FileFormatDocTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(kSqlite))
            GTEST_SKIP() << kSqlite << " is not installed";
    }
    TempDir dir;
};

TEST_F(FileFormatDocTest, TheDocumentedStatementsAreTheOnesTheToolsUse)
{
    // Schema.h keeps its text between newlines for readability.
    EXPECT_EQ("\n" + blockUnder("The update database"), schema::kUpdateDatabase);
    EXPECT_EQ("\n" + blockUnder("The host database"), schema::kHostDatabase);
    EXPECT_EQ("\n" + blockUnder("The run record"), schema::kRunRecord);
}

TEST_F(FileFormatDocTest, FilesMadeFromTheDocumentWithSqlite3OpenInTheProgram)
{
    std::string update = dir.file("invupdate.mdb");
    std::string host = dir.file("kv.mdb");
    runSqlite(dir.path().string(), update,
              blockUnder("The update database") +
                  "INSERT INTO Vendor VALUES ('Acme Salon Supply');"
                  "INSERT INTO product (ID, quickid, Name, cost, retailprice) VALUES (1, 'AB-1', 'Brush', 2.5, NULL);");
    // The host may hold other tables and other product columns.
    runSqlite(dir.path().string(), host,
              blockUnder("The host database") +
                  "CREATE TABLE customer (id INTEGER PRIMARY KEY, name TEXT);"
                  "ALTER TABLE product ADD COLUMN stock INTEGER;"
                  "INSERT INTO product (quickid, Name, cost, retailprice, stock) VALUES ('ab-1', 'Brush', 2, 5, 7);");

    Result<Database> updateDb = openUpdateDatabase(update);
    ASSERT_TRUE(updateDb.ok()) << updateDb.error();
    EXPECT_EQ(*firstVendorName(*updateDb), "Acme Salon Supply");
    Result<Recordset> vendorProducts =
        updateDb->openTable("product", {"ID", "quickid", "Name", "cost", "retailprice", "Delete"});
    ASSERT_TRUE(vendorProducts.ok()) << vendorProducts.error();
    ASSERT_TRUE(vendorProducts->setIndex("UpdateID").ok());
    ASSERT_TRUE(vendorProducts->moveFirst().ok());
    ASSERT_FALSE(vendorProducts->eof());
    // Delete takes its default: live.
    EXPECT_EQ(**vendorProducts->integer("Delete"), 0);
    EXPECT_FALSE(vendorProducts->number("retailprice")->has_value());
    ASSERT_TRUE(vendorProducts->setIndex("Primarykey").ok());

    Result<Database> hostDb = openHostDatabase(host);
    ASSERT_TRUE(hostDb.ok()) << hostDb.error();
    Result<Recordset> hostProducts = hostDb->openTable("product", {"quickid", "cost", "retailprice"});
    ASSERT_TRUE(hostProducts.ok()) << hostProducts.error();
    ASSERT_TRUE(hostProducts->setIndex("QuickID").ok());
    // Codes match without regard to letter case, as the document says.
    ASSERT_TRUE(hostProducts->seek(Key{std::string("AB-1")}).ok());
    ASSERT_FALSE(hostProducts->noMatch());
    EXPECT_EQ(**hostProducts->number("retailprice"), 5.0);
}

TEST_F(FileFormatDocTest, TheDocumentsSqlite3ExamplesMakeAPriceListTheProgramReads)
{
    std::string folder = dir.path().string();
    dir.write("update-schema.sql", blockUnder("The update database"));
    runSqlite(folder, dir.file("typed.mdb"), blockUnder("Making a price list", 0));
    Result<Database> typed = openUpdateDatabase(dir.file("typed.mdb"));
    ASSERT_TRUE(typed.ok()) << typed.error();
    EXPECT_EQ(*firstVendorName(*typed), "Lumen Professional");

    dir.write("prices.csv", "Code,Name,Cost,Retail Price\n"
                            "LP-1,\"Cuticle Oil, Lavender\",2.10,5.99\n"
                            "LP-2,Foil Roll, ,19.99\n");
    runSqlite(folder, dir.file("imported.mdb"), blockUnder("Making a price list", 1));
    Result<Database> imported = openUpdateDatabase(dir.file("imported.mdb"));
    ASSERT_TRUE(imported.ok()) << imported.error();
    Result<Recordset> products = imported->openTable("product", {"ID", "quickid", "Name", "cost", "retailprice"});
    ASSERT_TRUE(products.ok());
    ASSERT_TRUE(products->setIndex("Primarykey").ok());
    ASSERT_TRUE(products->seek(Key{std::int64_t{1}}).ok());
    ASSERT_FALSE(products->noMatch());
    EXPECT_EQ(**products->text("Name"), "Cuticle Oil, Lavender");
    EXPECT_EQ(**products->number("cost"), 2.10);
    ASSERT_TRUE(products->seek(Key{std::int64_t{2}}).ok());
    ASSERT_FALSE(products->noMatch());
    EXPECT_FALSE(products->number("cost")->has_value());
    EXPECT_EQ(**products->number("retailprice"), 19.99);
    // The scratch table is gone.
    EXPECT_FALSE(imported->hasTable("prices"));
}

} // namespace
