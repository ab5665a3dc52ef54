// Opening the update and host databases over real SQLite files: the first
// vendor of a sound price list, folders, devices and pipes refused without
// waiting, a price list in WAL mode or left with a cut-short write, and a
// host file that cannot be written. Files missing a table, column or index
// are cases of tests/reliability, run through the whole program.
#include "data/HostDatabase.h"
#include "data/UpdateDatabase.h"

#include "support/ProcessRunner.h"
#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    // A column named rowid does not change which record was stored first.
    execSql(update, "DELETE FROM Vendor; ALTER TABLE Vendor ADD COLUMN rowid INTEGER;"
                    "INSERT INTO Vendor (_rowid_, Name, rowid) VALUES (7, 'Zeta', 2), (9, 'Alpha', 1);");
    EXPECT_EQ(*firstVendorName(*db), "Zeta");
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

// The text attempt() returns, as seen by a user without special rights: under
// root, whom no permission stops, it runs in a child process that has given
// its rights up.
std::string asPlainUser(const std::function<std::string()>& attempt)
{
    return runInChild(attempt, true);
}

// The error text of openHostDatabase(path) for a user without special rights,
// empty on success.
std::string hostOpenErrorAsPlainUser(const std::string& path)
{
    return asPlainUser([&] {
        Result<Database> db = openHostDatabase(path);
        return db.ok() ? std::string() : db.error();
    });
}

// What a run reads from the price list at path, as a user without special
// rights: the vendor and how many products the list build walks, in its one
// read transaction; or the error.
std::string priceListAsPlainUser(const std::string& path)
{
    return asPlainUser([&] {
        Result<Database> db = openUpdateDatabase(path);
        if (!db)
            return db.error();
        Result<std::string> vendor = firstVendorName(*db);
        if (!vendor)
            return vendor.error();
        Status read = db->beginRead();
        Result<Recordset> products = db->openTable("product", {"ID"});
        if (!read || !products || !products->setIndex("UpdateID"))
            return std::string("cannot walk the products");
        int count = 0;
        for (Status s = products->moveFirst(); s && !products->eof(); s = products->moveNext())
            ++count;
        return *vendor + " " + std::to_string(count);
    });
}

TEST_F(OpenDatabasesTest, APriceListInWalModeIsReadInAFolderThatCannotBeWritten)
{
    using fs::perms;
    const perms readOnly = perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec |
                           perms::others_read | perms::others_exec;
    fs::permissions(dir.path(), perms::all);
    fs::create_directories(dir.file("program"));
    const std::string list = dir.file("program/invupdate.mdb");
    makeUpdateDatabase(list, {"Aveda"}, {{1, "A1", "Shampoo", 1.0, 2.0}});
    execSql(list, "PRAGMA journal_mode = WAL");
    fs::permissions(list, perms::owner_read | perms::group_read | perms::others_read);

    // Nothing waits in a -wal file: the file is read as it stands.
    fs::permissions(dir.file("program"), readOnly);
    EXPECT_EQ(priceListAsPlainUser(list), "Aveda 1");
    EXPECT_FALSE(fs::exists(list + "-shm"));

    // Another program holds a product in the -wal file, with its -shm file
    // beside it: the product is read.
    fs::permissions(dir.file("program"), perms::all);
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(list.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "PRAGMA wal_autocheckpoint = 0; INSERT INTO product (ID, quickid, Name, cost, "
                           "retailprice) VALUES (2, 'B1', 'Gel', 1, 2)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    fs::permissions(dir.file("program"), readOnly);
    EXPECT_EQ(priceListAsPlainUser(list), "Aveda 2");

    // The same files without the -shm file, which cannot be made: refused,
    // naming the -wal file, rather than read without its product.
    fs::create_directories(dir.file("copy"));
    const std::string copy = dir.file("copy/invupdate.mdb");
    fs::copy_file(list, copy);
    fs::copy_file(list + "-wal", copy + "-wal");
    fs::permissions(dir.file("copy"), readOnly);
    std::string refused = priceListAsPlainUser(copy);
    EXPECT_TRUE(contains(refused, copy + "-wal") && contains(refused, "cannot be read")) << refused;
    sqlite3_close(writer);
}

TEST_F(OpenDatabasesTest, APriceListWhoseLastWriteWasCutShortIsReadAsItWasBeforeThatWrite)
{
    std::vector<VendorRow> rows;
    for (int i = 0; i < 3000; ++i)
        rows.push_back({i + 1, "T" + std::to_string(i), std::string(150, 'n'), 1.0, 2.0});
    makeUpdateDatabase(update, {"Aveda"}, rows);
    // A writer dies half-way through a change large enough to reach the file,
    // leaving its journal behind.
    pid_t writer = ::fork();
    if (writer == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(update.c_str(), &db);
        sqlite3_exec(db, "PRAGMA cache_size = 1; BEGIN; UPDATE product SET cost = 99;", nullptr, nullptr, nullptr);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(writer, &status, 0);
    ASSERT_TRUE(fs::exists(update + "-journal"));
    const std::string cutShort = dir.file("copy.mdb");
    fs::copy_file(update, cutShort);
    fs::copy_file(update + "-journal", cutShort + "-journal");

    Result<Database> db = openUpdateDatabase(update);
    ASSERT_TRUE(db.ok()) << db.error();
    Result<Recordset> products = db->openTable("product", {"cost"});
    ASSERT_TRUE(products && products->setIndex("Primarykey"));
    ASSERT_TRUE(products->seek(Key{std::int64_t{3000}}));
    EXPECT_EQ(**products->number("cost"), 1.0);

    // Where the journal cannot be rolled back, the file is not read at all.
    fs::permissions(dir.path(),
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    std::string refused = priceListAsPlainUser(cutShort);
    EXPECT_TRUE(contains(refused, cutShort + "-journal") && contains(refused, "cut short")) << refused;
    fs::permissions(dir.path(), fs::perms::all);
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
