// Bad price lists: a missing, empty, foreign, truncated or misshapen update
// database, and products whose values cannot be used. Each either stops the
// run before the host database is touched, or is left out of the list and
// named to the user while the sound products are applied.
#include "BadInput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace tarvex;
using namespace tarvex::test;

namespace {

namespace fs = std::filesystem;

// A price list large enough to span many pages, cut to a fraction of its size.
void truncatedPriceList(Scenario& s, double fraction)
{
    std::vector<VendorRow> rows;
    for (int i = 0; i < 3000; ++i)
        rows.push_back({i + 1, "T" + std::to_string(i), std::string(150, 'n'), 1.0, 2.0});
    rows.push_back({5000, "P1", "Shampoo", 5.0, 9.0});
    fs::remove(s.updatePath);
    makeUpdateDatabase(s.updatePath, {"Acme"}, rows);
    fs::resize_file(s.updatePath,
                    static_cast<std::uintmax_t>(static_cast<double>(fs::file_size(s.updatePath)) * fraction));
}

// Replaces the product table by one made with the given columns and indexes,
// keeping the rows that fit.
void reshapeProducts(Scenario& s, const std::string& create)
{
    execSql(s.updatePath, "DROP TABLE product;" + create);
}

bool has(const std::vector<std::string>& codes, const std::string& code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// P1 is passed over and named; P2 is applied; the host's P1 stays as it was.
void p1NotListedButOthersApplied(Scenario& s, const RunOutcome& outcome)
{
    EXPECT_TRUE(has(outcome.notListed, "P1")) << outcome.summary();
    EXPECT_FALSE(has(outcome.listed, "P1"));
    EXPECT_TRUE(has(outcome.listed, "P2"));
    std::vector<HostRow> host = readHostProducts(s.hostPath);
    EXPECT_EQ(host[0].cost, 4.0);
    EXPECT_EQ(host[0].price, 9.0);
    EXPECT_EQ(host[1].price, 12.0);
    bool named = std::any_of(outcome.messages.begin(), outcome.messages.end(),
                             [](const Message& m) { return m.caption == "Products Not Listed"; });
    EXPECT_TRUE(named);
}

TEST(BadUpdateDatabaseTest, FilesThatAreNoUsablePriceListStopTheRunBeforeTheHostIsTouched)
{
    const std::string products = "CREATE TABLE product (ID INTEGER, quickid TEXT, Name TEXT, cost REAL, "
                                 "retailprice REAL, \"Delete\" INTEGER);";
    std::vector<BadInput> cases = {
        {"missing",
         [](Scenario& s) { fs::remove(s.updatePath); },
         End::ErrorLoading,
         {"{update}", "unable to open"},
         [](Scenario& s, const RunOutcome&) { EXPECT_FALSE(fs::exists(s.updatePath)) << "nothing is created"; }},
        {"empty (0 bytes)",
         [](Scenario& s) { replaceWith(s.updatePath, ""); },
         End::ErrorLoading,
         {"{update}", "empty (0 bytes)"}},
        {"not an SQLite file",
         [](Scenario& s) { replaceWith(s.updatePath, "ID,quickid,Name\n1,P1,Shampoo\n" + std::string(4000, 'x')); },
         End::ErrorLoading,
         {"{update}", "not a database"}},
        {"an Access (ACE) file cut short after its first page",
         [](Scenario& s) { replaceWith(s.updatePath, accessFileStart("ACE")); },
         End::ErrorLoading,
         {"{update}", "damaged: the file is cut short"}},
        {"SQLite header only",
         [](Scenario& s) { replaceWith(s.updatePath, std::string("SQLite format 3\0", 16)); },
         End::ErrorLoading,
         {"{update}"}},
        {"truncated to a tenth",
         [](Scenario& s) { truncatedPriceList(s, 0.1); },
         End::ErrorLoading,
         {"{update}", "malformed"}},
        {"truncated to half",
         [](Scenario& s) { truncatedPriceList(s, 0.5); },
         End::ErrorLoading,
         {"{update}", "malformed"}},
        {"truncated by one page",
         [](Scenario& s) { truncatedPriceList(s, 0.99); },
         End::ErrorLoading,
         {"{update}", "malformed"}},
        {"another program's schema",
         [](Scenario& s) {
             fs::remove(s.updatePath);
             makeHostDatabase(s.updatePath, {});
             execSql(s.updatePath, "DROP TABLE product; CREATE TABLE customers (id INTEGER, name TEXT);"
                                   "CREATE TABLE orders (id INTEGER, total REAL);");
         },
         End::ErrorLoading,
         {"{update} is not a vendor price list: it has no Vendor table"}},
        {"product without quickid",
         [](Scenario& s) {
             reshapeProducts(s, "CREATE TABLE product (ID INTEGER, Name TEXT, cost REAL, retailprice REAL, "
                                "\"Delete\" INTEGER); CREATE UNIQUE INDEX Primarykey ON product (ID);"
                                "CREATE INDEX UpdateID ON product (ID);");
         },
         End::ErrorLoading,
         {"{update}", "no column \"quickid\""}},
        {"product without retailprice",
         [](Scenario& s) { execSql(s.updatePath, "ALTER TABLE product DROP COLUMN retailprice"); },
         End::ErrorLoading,
         {"{update}", "no column \"retailprice\""}},
        {"product with \"Delete\" renamed",
         [](Scenario& s) { execSql(s.updatePath, "ALTER TABLE product RENAME COLUMN \"Delete\" TO Deleted"); },
         End::ErrorLoading,
         {"{update}", "no column \"Delete\""}},
        {"product without Primarykey",
         [](Scenario& s) { execSql(s.updatePath, "DROP INDEX Primarykey"); },
         End::ErrorLoading,
         {"{update}", "no index \"Primarykey\""}},
        {"product without its indexes",
         [products](Scenario& s) { reshapeProducts(s, products); },
         End::ErrorLoading,
         {"{update}", "no index \"UpdateID\""}},
        {"Primarykey on another column",
         [products](Scenario& s) {
             reshapeProducts(s, products + "CREATE INDEX UpdateID ON product (quickid);"
                                           "CREATE INDEX Primarykey ON product (quickid);");
         },
         End::ErrorLoading,
         {"{update}", "\"Primarykey\"", "not on column \"ID\""}},
        {"UpdateID on an expression",
         [products](Scenario& s) {
             reshapeProducts(s, products + "CREATE INDEX UpdateID ON product (lower(quickid));"
                                           "CREATE UNIQUE INDEX Primarykey ON product (ID);");
         },
         End::ErrorLoading,
         {"{update}", "expression"}},
        {"Primarykey partial",
         [](Scenario& s) {
             execSql(s.updatePath, "DROP INDEX Primarykey;"
                                   "CREATE UNIQUE INDEX Primarykey ON product (ID) WHERE \"Delete\" = 0;");
         },
         End::ErrorLoading,
         {"{update}", "\"Primarykey\"", "partial"}},
        {"UpdateID partial",
         [](Scenario& s) {
             execSql(s.updatePath,
                     "DROP INDEX UpdateID; CREATE INDEX UpdateID ON product (quickid, ID) WHERE cost > 0");
         },
         End::ErrorLoading,
         {"{update}", "\"UpdateID\"", "partial"}},
        // Two listed rows would both lead to the first product with the ID.
        {"two products sharing an ID",
         [](Scenario& s) {
             execSql(s.updatePath, "DROP INDEX Primarykey; CREATE INDEX Primarykey ON product (ID);"
                                   "UPDATE product SET ID = 1 WHERE ID = 2;");
         },
         End::ErrorLoading,
         {"{update}", "has ID 1,", "\"Primarykey\""}},
        {"IDs repeated under a Primarykey unique on two columns",
         [](Scenario& s) {
             execSql(s.updatePath, "DROP INDEX Primarykey; CREATE UNIQUE INDEX Primarykey ON product (ID, quickid);"
                                   "UPDATE product SET ID = 2 WHERE ID = 3;");
         },
         End::ErrorLoading,
         {"{update}", "has ID 2,"}},
        {"Primarykey not unique but the IDs distinct",
         [](Scenario& s) { execSql(s.updatePath, "DROP INDEX Primarykey; CREATE INDEX Primarykey ON product (ID);"); },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.listed, (std::vector<std::string>{"P1", "P2"}));
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
         }},
        {"the salon's own database",
         [](Scenario& s) { fs::copy_file(s.hostPath, s.updatePath, fs::copy_options::overwrite_existing); },
         End::ErrorLoading,
         {"{update} is not a vendor price list: it has no Vendor table (it looks like the salon application's "
          "database)"}},
        {"Vendor empty",
         [](Scenario& s) { execSql(s.updatePath, "DELETE FROM Vendor"); },
         End::NoVendor,
         {"{update}", "no record"}},
        {"Vendor missing",
         [](Scenario& s) { execSql(s.updatePath, "DROP TABLE Vendor"); },
         End::NoVendor,
         {"{update}", "no table \"Vendor\""}},
        {"Vendor with a NULL Name",
         [](Scenario& s) { execSql(s.updatePath, "UPDATE Vendor SET Name = NULL"); },
         End::Complete,
         {},
         [](Scenario&, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.messages[0].text, "You are running Standard Pricing Update for Vendor:, Continue?");
         }},
        {"a folder named invupdate.mdb",
         [](Scenario& s) {
             fs::remove(s.updatePath);
             fs::create_directory(s.updatePath);
         },
         End::ErrorLoading,
         {"{update}", "is a folder"}},
        {"a link to a device named invupdate.mdb",
         [](Scenario& s) {
             fs::remove(s.updatePath);
             fs::create_symlink("/dev/zero", s.updatePath);
         },
         End::ErrorLoading,
         {"{update}", "device or pipe"}},
    };
    runBadInputs("update database", cases);
}

TEST(BadUpdateDatabaseTest, ProductsWithUnusableValuesAreNamedAndLeftOutWhileTheOthersApply)
{
    auto setP1 = [](const std::string& sql) {
        return [sql](Scenario& s) { execSql(s.updatePath, "UPDATE product SET " + sql + " WHERE ID = 1"); };
    };
    std::vector<BadInput> cases = {
        {"cost as text",
         setP1("cost = 'about 5'"),
         End::Complete,
         {"{update}", "\"cost\" holds text"},
         p1NotListedButOthersApplied},
        {"cost as blob",
         setP1("cost = x'00ff10'"),
         End::Complete,
         {"{update}", "\"cost\" holds binary data"},
         p1NotListedButOthersApplied},
        {"cost infinite",
         setP1("cost = 9e999"),
         End::Complete,
         {"{update}", "\"cost\" is not a finite number"},
         p1NotListedButOthersApplied},
        {"cost negative",
         setP1("cost = -5"),
         End::Complete,
         {"{update}", "\"cost\" is negative"},
         p1NotListedButOthersApplied},
        {"price as text",
         setP1("retailprice = '9,50'"),
         End::Complete,
         {"{update}", "\"retailprice\" holds text"},
         p1NotListedButOthersApplied},
        {"price as blob",
         setP1("retailprice = x'01'"),
         End::Complete,
         {"{update}", "\"retailprice\" holds binary data"},
         p1NotListedButOthersApplied},
        {"price minus infinity",
         setP1("retailprice = -9e999"),
         End::Complete,
         {"{update}", "\"retailprice\" is not a finite number"},
         p1NotListedButOthersApplied},
        {"price negative",
         setP1("retailprice = -0.01"),
         End::Complete,
         {"{update}", "\"retailprice\" is negative"},
         p1NotListedButOthersApplied},
        {"Delete as text",
         setP1("\"Delete\" = 'no'"),
         End::Complete,
         {"{update}", "\"Delete\" holds text"},
         p1NotListedButOthersApplied},
        // SQLite stores a NaN as an empty value: the cost then counts as
        // empty and never changes the host's.
        {"cost NaN (stored as empty)",
         [](Scenario& s) { setField(s.updatePath, "product", "cost", 1, std::nan("")); },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_FALSE(has(outcome.listed, "P1"));
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 4.0);
         }},
        {"NULL quickid",
         setP1("quickid = NULL"),
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.listed, std::vector<std::string>{"P2"});
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 4.0);
         }},
        {"empty quickid",
         setP1("quickid = ''"),
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.listed, std::vector<std::string>{"P2"});
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 4.0);
         }},
        // Values reach SQL only as bound parameters: a code that reads as SQL
        // is only a code.
        {"product code that reads as SQL",
         [](Scenario& s) {
             execSql(s.updatePath, std::string("UPDATE product SET quickid = '") + "P1''; DROP TABLE product; --\"" +
                                       "' WHERE ID = 1");
             execSql(s.hostPath, std::string("UPDATE product SET quickid = '") + "P1''; DROP TABLE product; --\"" +
                                     "' WHERE quickid = 'P1'");
         },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_TRUE(has(outcome.listed, "P1'; DROP TABLE product; --\""));
             std::vector<HostRow> host = readHostProducts(s.hostPath);
             ASSERT_EQ(host.size(), 3u);
             EXPECT_EQ(host[0].cost, 5.0);
         }},
        {"name of 100,000 characters",
         setP1("Name = printf('%.*c', 100000, 'N')"),
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_TRUE(has(outcome.listed, "P1"));
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
         }},
        {"name not valid UTF-8",
         setP1("Name = CAST(x'c328ffa0e282' AS TEXT)"),
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_TRUE(has(outcome.listed, "P1"));
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
         }},
        {"product code not valid UTF-8",
         [](Scenario& s) {
             execSql(s.updatePath, "UPDATE product SET quickid = CAST(x'50ff31' AS TEXT) WHERE ID = 1");
             execSql(s.hostPath, "UPDATE product SET quickid = CAST(x'50ff31' AS TEXT) WHERE quickid = 'P1'");
         },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_TRUE(has(outcome.listed, std::string("P\xff"
                                                         "1")));
             EXPECT_EQ(readHostProducts(s.hostPath)[0].cost, 5.0);
         }},
    };
    runBadInputs("update products", cases);
}

TEST(BadUpdateDatabaseTest, AHundredThousandProductsSharingOneCodeListAndApplyWithoutLoss)
{
    std::vector<BadInput> cases = {
        {"100,000 products sharing one code",
         [](Scenario& s) {
             std::vector<VendorRow> rows;
             for (int i = 0; i < 100000; ++i)
                 rows.push_back({i + 1, "P1", "Shampoo", 5.0, 9.0 + (i % 7)});
             fs::remove(s.updatePath);
             makeUpdateDatabase(s.updatePath, {"Acme"}, rows);
         },
         End::Complete,
         {},
         [](Scenario& s, const RunOutcome& outcome) {
             EXPECT_EQ(outcome.listed.size(), 100000u);
             // The later rows find the host already up to date, save for the
             // greatest price, which wins.
             EXPECT_EQ(outcome.report.updated + outcome.report.unchanged, 100000u);
             std::vector<HostRow> host = readHostProducts(s.hostPath);
             EXPECT_EQ(host[0].cost, 5.0);
             EXPECT_EQ(host[0].price, 15.0);
             EXPECT_EQ(host[1].price, 10.0);
         }},
    };
    runBadInputs("update products", cases);
}

} // namespace
