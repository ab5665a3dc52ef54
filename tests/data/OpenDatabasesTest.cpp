// Opening the update and host databases over real SQLite files: sound files,
// files missing a table, column or index, an index on the wrong column, and a
// host file that cannot be written.
#include "data/HostDatabase.h"
#include "data/UpdateDatabase.h"

#include "support/ProcessRunner.h"
#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

using namespace tarvex;
using namespace tarvex::test;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class OpenDatabasesTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string update = dir.file("invupdate.mdb");
    std::string host = dir.file("kv.mdb");
};

TEST_F(OpenDatabasesTest, SoundUpdateDatabaseOpensAndNamesItsFirstVendor)
{
    makeUpdateDatabase(update, {"Aveda", "Second"}, {{1, "A1", "Shampoo", 1.0, 2.0}});
    Result<Database> db = openUpdateDatabase(update);
    ASSERT_TRUE(db.ok()) << db.error();
    Result<std::string> vendor = firstVendorName(*db);
    ASSERT_TRUE(vendor.ok()) << vendor.error();
    EXPECT_EQ(*vendor, "Aveda");

    // "First" is the first stored record, whatever its name sorts as.
    execSql(update, "DELETE FROM Vendor; INSERT INTO Vendor (rowid, Name) VALUES (7, 'Zeta'), (9, 'Alpha');");
    EXPECT_EQ(*firstVendorName(*db), "Zeta");
    execSql(update, "DELETE FROM Vendor; INSERT INTO Vendor (Name) VALUES (NULL);");
    EXPECT_EQ(*firstVendorName(*db), "");
}

TEST_F(OpenDatabasesTest, VendorTableMissingOrEmptyIsAFailureNamingTheFile)
{
    makeUpdateDatabase(update, {}, {});
    Result<Database> db = openUpdateDatabase(update);
    ASSERT_TRUE(db.ok()) << db.error();
    Result<std::string> empty = firstVendorName(*db);
    ASSERT_FALSE(empty.ok());
    EXPECT_TRUE(contains(empty.error(), update) && contains(empty.error(), "no record")) << empty.error();

    execSql(update, "DROP TABLE Vendor");
    Result<std::string> missing = firstVendorName(*db);
    ASSERT_FALSE(missing.ok());
    EXPECT_TRUE(contains(missing.error(), update) && contains(missing.error(), "Vendor")) << missing.error();
}

TEST_F(OpenDatabasesTest, UpdateDatabaseWithoutWhatARunNeedsIsRefused)
{
    struct Case {
        std::string sql;
        std::string named;
    };
    const std::vector<Case> cases = {
        {"DROP TABLE product", "product"},
        {"ALTER TABLE product DROP COLUMN retailprice", "retailprice"},
        {"ALTER TABLE product RENAME COLUMN \"Delete\" TO Deleted", "Delete"},
        {"DROP INDEX UpdateID", "UpdateID"},
        {"DROP INDEX Primarykey", "Primarykey"},
        {"DROP INDEX Primarykey; CREATE INDEX Primarykey ON product (quickid)", "ID"},
    };
    for (const Case& c : cases) {
        fs::remove(update);
        makeUpdateDatabase(update, {"Vendor"}, {});
        execSql(update, c.sql);
        Result<Database> db = openUpdateDatabase(update);
        ASSERT_FALSE(db.ok()) << c.sql;
        EXPECT_TRUE(contains(db.error(), update) && contains(db.error(), c.named)) << c.sql << ": " << db.error();
    }
    Result<Database> absent = openUpdateDatabase(dir.file("absent.mdb"));
    ASSERT_FALSE(absent.ok());
    EXPECT_TRUE(contains(absent.error(), dir.file("absent.mdb")));
    EXPECT_FALSE(fs::exists(dir.file("absent.mdb")));
}

TEST_F(OpenDatabasesTest, HostDatabaseNeedsProductColumnsAndTheQuickIdIndex)
{
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    {
        Result<Database> good = openHostDatabase(host);
        ASSERT_TRUE(good.ok()) << good.error();
    }

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"DROP TABLE product", "product"},
        {"ALTER TABLE product DROP COLUMN cost", "cost"},
        {"DROP INDEX QuickID", "QuickID"},
        {"DROP INDEX QuickID; CREATE INDEX QuickID ON product (Name)", "quickid"},
    };
    for (const auto& [sql, named] : cases) {
        fs::remove(host);
        makeHostDatabase(host, {});
        execSql(host, sql);
        Result<Database> db = openHostDatabase(host);
        ASSERT_FALSE(db.ok()) << sql;
        EXPECT_TRUE(contains(db.error(), host) && contains(db.error(), named)) << sql << ": " << db.error();
    }
    std::string text = dir.write("notes.mdb", std::string(4096, 'n'));
    EXPECT_FALSE(openHostDatabase(text).ok());
}

TEST_F(OpenDatabasesTest, FoldersDevicesAndPipesAreRefusedWithoutWaiting)
{
    ASSERT_EQ(::mkfifo(dir.file("pipe.mdb").c_str(), 0600), 0);
    fs::create_directories(dir.file("folder.mdb"));
    for (const std::string& path : {dir.file("pipe.mdb"), dir.file("folder.mdb"), std::string("/dev/zero")}) {
        Result<Database> hostDb = openHostDatabase(path);
        Result<Database> updateDb = openUpdateDatabase(path);
        ASSERT_FALSE(hostDb.ok()) << path;
        ASSERT_FALSE(updateDb.ok()) << path;
        EXPECT_TRUE(contains(hostDb.error(), path) && contains(hostDb.error(), "not a database file"))
            << hostDb.error();
    }
}

// The error text of openHostDatabase(path), empty on success, as seen by a
// user without special rights: the open runs in a child process that, under
// root, whom no permission stops, has given its rights up.
std::string hostOpenErrorAsPlainUser(const std::string& path)
{
    return runInChild(
        [&] {
            Result<Database> db = openHostDatabase(path);
            return db.ok() ? std::string() : db.error();
        },
        true);
}

TEST_F(OpenDatabasesTest, HostDatabaseThatCannotBeWrittenIsRefused)
{
    using fs::perms;
    makeHostDatabase(host, {{"A1", 1.0, 2.0}});
    fs::permissions(dir.path(), perms::all);
    fs::permissions(host, perms::all);
    EXPECT_EQ(hostOpenErrorAsPlainUser(host), "");

    fs::permissions(host, perms::owner_read | perms::group_read | perms::others_read);
    std::string readOnly = hostOpenErrorAsPlainUser(host);
    EXPECT_TRUE(contains(readOnly, host) && contains(readOnly, "only be opened for reading")) << readOnly;

    // A writable file in a folder where the journal cannot be made.
    fs::permissions(host, perms::all);
    fs::permissions(dir.path(), perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec |
                                    perms::others_read | perms::others_exec);
    std::string folder = hostOpenErrorAsPlainUser(host);
    EXPECT_TRUE(contains(folder, host) && contains(folder, "cannot be written")) << folder;
}

} // namespace
