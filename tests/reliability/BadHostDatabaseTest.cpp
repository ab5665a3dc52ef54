// Bad host databases: missing, empty, foreign, truncated or misshapen files,
// things that are not files at all, and products whose stored values cannot
// be compared. None may be written to, and every refusal names the file.
#include "BadInput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

void truncatedHost(Scenario& s, double fraction)
{
    std::vector<HostRow> rows;
    for (int i = 0; i < 3000; ++i)
        rows.push_back({"T" + std::to_string(i), 1.0, 2.0, 0, std::string(150, 'n')});
    rows.push_back({"P1", 4.0, 9.0});
    fs::remove(s.hostPath);
    makeHostDatabase(s.hostPath, rows);
    fs::resize_file(s.hostPath, static_cast<std::uintmax_t>(static_cast<double>(fs::file_size(s.hostPath)) * fraction));
}

void reshapeHost(Scenario& s, const std::string& create)
{
    execSql(s.hostPath, "DROP TABLE product;" + create);
}

// A file that is no database is refused before the copy: no stray "backup".
void notCopied(Scenario& s, const RunOutcome&)
{
    EXPECT_EQ(s.backups(), std::vector<std::string>{});
}

bool has(const std::vector<std::string>& codes, const std::string& code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// The host's P1 cannot be compared: it is named and kept; P2 is applied.
void hostP1NotListed(Scenario& s, const RunOutcome& outcome)
{
    EXPECT_TRUE(has(outcome.notListed, "P1")) << outcome.summary();
    EXPECT_FALSE(has(outcome.listed, "P1"));
    EXPECT_EQ(readHostProducts(s.hostPath)[1].price, 12.0);
}

TEST(BadHostDatabaseTest, FilesThatAreNoUsableHostDatabaseAreNeverWritten)
{
    std::vector<BadInput> cases = {
        {"missing", [](Scenario& s) { fs::remove(s.hostPath); }, End::UnableToOpen, {"{host}", "unable to open"}},
        {"empty (0 bytes)",
         [](Scenario& s) { replaceWith(s.hostPath, ""); },
         End::UnableToOpen,
         {"{host}", "empty (0 bytes)"},
         notCopied},
        {"not an SQLite file",
         [](Scenario& s) { replaceWith(s.hostPath, std::string(5000, '\x7f') + "ELF"); },
         End::UnableToOpen,
         {"{host}", "not a database"},
         notCopied},
        {"too short to hold a signature",
         [](Scenario& s) { replaceWith(s.hostPath, "SQL"); },
         End::UnableToOpen,
         {"{host}: ", "not a database"},
         notCopied},
        {"in a folder that does not exist",
         [](Scenario& s) { s.storeLocation(s.data + "/gone/kv.mdb"); },
         End::UnableToOpen,
         {"{data}/gone/kv.mdb"},
         [](Scenario& s, const RunOutcome& outcome) {
             notCopied(s, outcome);
             EXPECT_FALSE(fs::exists(s.data + "/gone")) << "nothing is created on the way to a missing file";
         }},
        // An Access host is read before it is copied: one that cannot be
        // read leaves no copy.
        {"an Access (Jet) database cut short after its first page",
         [](Scenario& s) { replaceWith(s.hostPath, accessFileStart("Jet")); },
         End::UnableToOpen,
         {"{host}", "damaged: the file is cut short"},
         notCopied},
        {"an Access (ACE) database cut short after its first page",
         [](Scenario& s) { replaceWith(s.hostPath, accessFileStart("ACE")); },
         End::UnableToOpen,
         {"{host}", "damaged: the file is cut short"},
         notCopied},
        {"truncated to half", [](Scenario& s) { truncatedHost(s, 0.5); }, End::BackupFailed, {"{host}", "malformed"}},
        {"truncated by one page",
         [](Scenario& s) { truncatedHost(s, 0.99); },
         End::BackupFailed,
         {"{host}", "malformed"}},
        {"another program's schema",
         [](Scenario& s) { reshapeHost(s, "CREATE TABLE invoices (id INTEGER, total REAL);"); },
         End::UnableToOpen,
         {"{host}", "has no table \"product\""}},
        {"product without quickid",
         [](Scenario& s) {
             reshapeHost(s, "CREATE TABLE product (code TEXT, cost REAL, retailprice REAL);"
                            "CREATE INDEX QuickID ON product (code);");
         },
         End::UnableToOpen,
         {"{host}", "no column \"quickid\""}},
        {"product without cost",
         [](Scenario& s) { execSql(s.hostPath, "ALTER TABLE product DROP COLUMN cost"); },
         End::UnableToOpen,
         {"{host}", "no column \"cost\""}},
        {"product without the QuickID index",
         [](Scenario& s) { execSql(s.hostPath, "DROP INDEX QuickID"); },
         End::UnableToOpen,
         {"{host}", "no index \"QuickID\""}},
        {"QuickID on another column",
         [](Scenario& s) { execSql(s.hostPath, "DROP INDEX QuickID; CREATE INDEX QuickID ON product (Name);"); },
         End::UnableToOpen,
         {"{host}", "not on column \"quickid\""}},
        {"QuickID partial",
         [](Scenario& s) {
             execSql(s.hostPath, "DROP INDEX QuickID; CREATE INDEX QuickID ON product (quickid) WHERE \"Delete\" = 0;");
         },
         End::UnableToOpen,
         {"{host}", "\"QuickID\"", "partial"}},
        {"QuickID on an expression",
         [](Scenario& s) {
             execSql(s.hostPath, "DROP INDEX QuickID; CREATE INDEX QuickID ON product (upper(quickid));");
         },
         End::UnableToOpen,
         {"{host}", "\"QuickID\"", "expression"}},
        {"columns named rowid, _rowid_ and oid",
         [](Scenario& s) {
             execSql(s.hostPath, "ALTER TABLE product ADD COLUMN rowid INTEGER; ALTER TABLE product ADD COLUMN "
                                 "_rowid_ INTEGER; ALTER TABLE product ADD COLUMN oid INTEGER;");
         },
         End::UnableToOpen,
         {"{host}", "hide the row id"}},
        {"a folder",
         [](Scenario& s) { fs::remove(s.hostPath), fs::create_directory(s.hostPath); },
         End::UnableToOpen,
         {"{host}", "is a folder"}},
        {"a link to a device",
         [](Scenario& s) { fs::remove(s.hostPath), fs::create_symlink("/dev/zero", s.hostPath); },
         End::UnableToOpen,
         {"{host}", "device or pipe"}},
        {"a named pipe",
         [](Scenario& s) { fs::remove(s.hostPath), ::mkfifo(s.hostPath.c_str(), 0600); },
         End::UnableToOpen,
         {"{host}", "device or pipe"}},
        {"a link that loops",
         [](Scenario& s) { fs::remove(s.hostPath), fs::create_symlink(s.hostPath, s.hostPath); },
         End::BackupFailed,
         {"{host}", "Too many levels of symbolic links"}},
        {"a dangling link",
         [](Scenario& s) { fs::remove(s.hostPath), fs::create_symlink(s.data + "/gone.mdb", s.hostPath); },
         End::UnableToOpen,
         {"{host}", "unable to open"}},
    };
    runBadInputs("host database", cases);
}

TEST(BadHostDatabaseTest, HostProductsWithUnusableValuesAreNamedAndKept)
{
    auto setP1 = [](const std::string& sql) {
        return [sql](Scenario& s) { execSql(s.hostPath, "UPDATE product SET " + sql + " WHERE quickid = 'P1'"); };
    };
    std::vector<BadInput> cases = {
        {"cost as text", setP1("cost = 'four'"), End::Complete, {"{host}", "\"cost\" holds text"}, hostP1NotListed},
        {"price as blob",
         setP1("retailprice = x'ff'"),
         End::Complete,
         {"{host}", "\"retailprice\" holds binary data"},
         hostP1NotListed},
        {"cost infinite",
         setP1("cost = 9e999"),
         End::Complete,
         {"{host}", "\"cost\" is not a finite number"},
         hostP1NotListed},
        // A host value below zero is the host's own business: the vendor's
        // value is compared with it and replaces it as usual.
        {"cost negative",
         setP1("cost = -4"),
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_TRUE(has(outcome.listed, "P1"));
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
         }},
        {"NULL and empty quickid beside the products",
         [](Scenario& s) {
             execSql(s.hostPath, "INSERT INTO product (quickid, cost, retailprice) VALUES (NULL, 1, 1), ('', 1, 1)");
         },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.listed, (std::vector<std::string>{"P1", "P2"}));
             std::vector<HostRow> host = readHostProducts(s.hostPath);
             EXPECT_EQ(host[3].cost, 1.0);
             EXPECT_EQ(host[4].cost, 1.0);
         }},
        // A column takes the name rowid, and a deleted twin of P1 holds the
        // same values in every column: only the first P1 may be written.
        {"a column named rowid and a deleted twin of P1",
         [](Scenario& s) {
             execSql(s.hostPath, "ALTER TABLE product ADD COLUMN rowid INTEGER;"
                                 "INSERT INTO product (quickid, cost, retailprice, \"Delete\") VALUES ('P1', 4, 9, 1);"
                                 "UPDATE product SET rowid = 7;");
         },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.report.updated, 2u) << outcome.summary();
             // The column's equal values leave the stored order open.
             for (const HostRow& row : readHostProducts(s.hostPath)) {
                 if (row.quickid == "P1") {
                     EXPECT_EQ(row.cost, row.deleted ? 4.0 : 5.0);
                 }
             }
         }},
    };
    runBadInputs("host products", cases);
}

} // namespace
