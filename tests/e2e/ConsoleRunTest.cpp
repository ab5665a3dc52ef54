// The built program run in a terminal, as over SSH: a temporary program
// folder with the program, its price list and settings file, a host database
// beside it, the answers fed on standard input, and the host database checked
// afterwards.
#include "platform/Database.h"
#include "platform/access/AccessFile.h"
#include "support/AccessFiles.h"
#include "support/Fixtures.h"
#include "support/ProcessRunner.h"
#include "support/SampleDatabases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace tarvex::test {

namespace {

namespace fs = std::filesystem;

class ConsoleRunTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string program = dir.file("tarvex");
    std::string hostPath = dir.file("data/kv.mdb");

    void SetUp() override
    {
        fs::copy_file(builtProgram("tarvex"), program);
        fs::permissions(program, fs::perms::owner_all);
        fs::create_directories(dir.path() / "data");
        // Five products, each with a new cost; the list shows them in code order.
        std::vector<VendorRow> vendor;
        std::vector<HostRow> host;
        for (int i = 1; i <= 5; ++i) {
            std::string code = "AB-00" + std::to_string(i);
            vendor.push_back({i, code, "Product " + std::to_string(i), 10.0 + i, 20.0});
            host.push_back({code, 1.0 * i, 20.0, 0, "Product " + std::to_string(i)});
        }
        makeUpdateDatabase(dir.file("invupdate.mdb"), {"Acme Beauty"}, vendor);
        makeHostDatabase(hostPath, host);
        dir.write("Merlow.INI", "[Settings]\nDBLocation=" + hostPath + "\n");
    }

    // wrapper, when given, runs the program (e.g. prlimit with its options).
    ProcessResult run(const std::vector<std::string>& arguments, const std::string& input,
                      const std::vector<std::string>& wrapper = {})
    {
        std::vector<std::string> argv = wrapper;
        argv.push_back(program);
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ProcessOptions options;
        options.input = input;
        options.workingDirectory = dir.path().string();
        options.environment = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_CONFIG_HOME=" + dir.file("config"),
                               std::string("LSAN_OPTIONS=suppressions=") + TARVEX_SOURCE_DIR + "/tests/lsan.supp"};
        ProcessResult result = runProcess(argv, options);
        EXPECT_FALSE(result.timedOut) << result.out;
        return result;
    }

    ProcessResult console(const std::string& input) { return run({"--console"}, input); }

    // The host costs in row order.
    std::vector<double> hostCosts()
    {
        std::vector<double> costs;
        for (const HostRow& row : readHostProducts(hostPath))
            costs.push_back(row.cost.value_or(-1));
        return costs;
    }

    // Files in the host database's folder other than the database itself
    // and its run record: the backup copy, or journals left by an open.
    std::vector<std::string> besideHost()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path() / "data"))
            if (entry.path().filename() != "kv.mdb" && entry.path().filename() != "kv.mdb_TarvexHistory")
                names.push_back(entry.path().filename().string());
        return names;
    }

    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> out;
        std::stringstream split(text);
        for (std::string line; std::getline(split, line);)
            out.push_back(line);
        return out;
    }

    // The table line of a row (numbered from 1), empty when none is shown.
    static std::string rowLine(const std::string& out, int row)
    {
        std::string start = std::to_string(row) + " ";
        std::string found;
        for (const std::string& line : lines(out))
            if (line.rfind(start, 0) == 0 && line.find(" | ") != std::string::npos)
                found = line; // the last one shown
        return found;
    }

    const std::vector<double> original = {1, 2, 3, 4, 5};

    // The Access files of tests/data/access in the vendor's and the host's
    // places.
    void useAccessFiles(const std::string& list, const std::string& host)
    {
        if (!list.empty())
            fs::copy_file(accessFixture(list), dir.file("invupdate.mdb"), fs::copy_options::overwrite_existing);
        if (!host.empty())
            fs::copy_file(accessFixture(host), hostPath, fs::copy_options::overwrite_existing);
    }

    static std::string accessFixture(const std::string& name) { return fixturePath("access/" + name); }

    // The listing a run shows, from its title to the count under it.
    static std::string listing(const std::string& out)
    {
        std::size_t from = out.find("Proposed Changes to Products");
        std::size_t to = out.find("Products to be Updated", from);
        return from == std::string::npos || to == std::string::npos ? std::string() : out.substr(from, to - from);
    }

    std::string recordPath = hostPath + "_TarvexHistory";

    // The backup copies beside the host, oldest first (their names carry
    // the time).
    std::vector<std::string> backups()
    {
        std::vector<std::string> names = besideHost();
        std::sort(names.begin(), names.end());
        for (std::string& name : names)
            name = dir.file("data/" + name);
        return names;
    }
};

// What the listing rules give for the Access fixtures' price list against
// their host (see tests/data/access/PROVENANCE.md): BW-102 (no change),
// BW-107 (deleted in the list) and BW-110 (not in the host) are left out;
// BW-105 is found as bw-105; BW-106 is matched to its deleted twin, the
// first in the index; both BW-109 rows are listed.
const std::string kAccessListing = R"(Proposed Changes to Products 
#  | Sel | Product Code | Product Name                  | Current Cost | New Cost | Current Price | New Price | Change                        | Flag
1  | [ ] | BW-100       | Silk Shampoo 300 ml           |           10 |      9.5 |            25 |        25 |  Price Change                 |
2  | [ ] | BW-101       | Silk Conditioner 300 ml       |           10 |       11 |            25 |        30 |  Cost Change and Price Change |
3  | [ ] | BW-103       | Volume Mousse 200 ml          |            7 |     7.25 |            15 |        14 |  Cost Change                  |
4  | [ ] | BW-104       | Crème Brûlée Hand Cream 75 ml |            0 |        0 |             0 |         5 |  Price Change                 |
5  | [ ] | BW-105       | Argan Oil 100 ml              |            3 |        4 |             9 |         9 |  Cost Change                  |
6  | [ ] | BW-106       | Foil Roll 100 m               |            5 |      6.5 |            10 |        13 |  Cost Change and Price Change |
7  | [ ] | BW-108       | Sea Salt Scrub 300 g          |            6 |          |            11 |        12 |  Price Change                 |
8  | [ ] | BW-109       | Cuticle Oil | Almond "Pro"    |            7 |     7.25 |            15 |        14 |  Cost Change                  | !
9  | [ ] | BW-109       | Cuticle Oil | Almond refill   |            7 |     6.75 |            15 |      16.5 |  Price Change                 | !
10 | [ ] | BW-111       | Шампунь Объём 250 мл          |           12 |     12.5 |       1200000 |   1250000 |  Cost Change and Price Change |
11 | [ ] | BW-112       | Developer 20 Vol 1 L          |          5.2 |     5.45 |         12.99 |           |  Cost Change                  |
12 | [ ] | BW-113       | Added-Column Shampoo          |            7 |        8 |            17 |        18 |  Cost Change and Price Change |
13 | [ ] | BW-114       | Moved Row Conditioner         |            8 |        9 |            20 |        21 |  Cost Change and Price Change |
13 )";

// The Access fixtures' price list and host written again as SQLite files
// with the same values, read through the program's own Access engine.
void writeSqliteCopies(const std::string& accessList, const std::string& accessHost, const std::string& list,
                       const std::string& host)
{
    Result<Database> update = Database::open(accessList);
    ASSERT_TRUE(update.ok()) << update.error();
    Result<Recordset> products =
        update->openTable("product", {"ID", "quickid", "Name", "cost", "retailprice", "Delete"});
    ASSERT_TRUE(products.ok()) << products.error();
    ASSERT_TRUE(products->setIndex("Primarykey").ok());
    std::vector<VendorRow> vendorRows;
    for (Status walk = products->moveFirst(); walk.ok() && !products->eof(); walk = products->moveNext())
        vendorRows.push_back({**products->integer("ID"), *products->text("quickid"), **products->text("Name"),
                              *products->number("cost"), *products->number("retailprice"),
                              **products->integer("Delete") != 0 ? 1 : 0});
    makeUpdateDatabase(list, {"Brightwell Salon Supply"}, vendorRows);

    Result<Database> kv = Database::open(accessHost);
    ASSERT_TRUE(kv.ok()) << kv.error();
    Result<Recordset> stock = kv->openTable("product", {"quickid", "Name", "cost", "retailprice", "Delete"});
    ASSERT_TRUE(stock.ok()) << stock.error();
    ASSERT_TRUE(stock->setIndex("PrimaryKey").ok());
    std::vector<HostRow> hostRows;
    for (Status walk = stock->moveFirst(); walk.ok() && !stock->eof(); walk = stock->moveNext())
        hostRows.push_back({*stock->text("quickid"), *stock->number("cost"), *stock->number("retailprice"),
                            **stock->integer("Delete") != 0 ? 1 : 0, stock->text("Name")->value_or("")});
    makeHostDatabase(host, hostRows);
}

TEST_F(ConsoleRunTest, AFullRunSelectsAllAndAppliesThem)
{
    ProcessResult r = console("yes\nok\nall\napply\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string& out = r.out;
    EXPECT_EQ(out.rfind("Corvane Tarvex", 0), 0u) << out;
    std::string splash = lines(out).at(0);
    EXPECT_NE(splash.find("Tarvex Version "), std::string::npos) << splash;
    EXPECT_NE(splash.find("Norvale Systems"), std::string::npos) << splash;
    EXPECT_NE(out.find("[Notice] You are running Standard Pricing Update for Vendor:Acme Beauty, Continue?"),
              std::string::npos);
    EXPECT_NE(out.find("[Backup Data] The Tarvex program will backup your data"), std::string::npos);
    EXPECT_NE(out.find("Proposed Changes to Products \n#"), std::string::npos) << out;
    EXPECT_NE(out.find("\n5 Products to be Updated\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[Tarvex] Update Complete"), std::string::npos) << out;

    // Header and rows line up: every " | " of a row sits under one of the header's.
    std::vector<std::string> all = lines(out);
    auto header = std::find_if(all.begin(), all.end(),
                               [](const std::string& l) { return l.find("Product Code") != std::string::npos; });
    ASSERT_NE(header, all.end());
    for (const char* title : {"Product Name", "Current Cost", "New Cost", "Current Price", "New Price", "Change"})
        EXPECT_NE(header->find(title), std::string::npos) << title;
    std::string first = rowLine(out, 1);
    EXPECT_NE(first.find("AB-001"), std::string::npos) << first;
    EXPECT_NE(first.find("[ ]"), std::string::npos) << first;
    for (std::size_t at = header->find(" | "); at != std::string::npos; at = header->find(" | ", at + 1))
        EXPECT_EQ(first.substr(at, 3), " | ") << first;

    EXPECT_EQ(hostCosts(), (std::vector<double>{11, 12, 13, 14, 15}));
    std::vector<std::string> beside = besideHost();
    ASSERT_EQ(beside.size(), 1u);
    EXPECT_NE(beside[0].find("_Tarvex_"), std::string::npos) << beside[0];
    EXPECT_EQ(integrityCheck(hostPath), "ok");
    EXPECT_TRUE(fs::exists(recordPath)) << "a run that writes keeps its record";
}

TEST_F(ConsoleRunTest, AnIncompleteApplyEndsWithTheErrorStatus)
{
    // The host refuses any change to one product, as a trigger of the host
    // application might.
    execSql(hostPath, "CREATE TRIGGER refuse_3 BEFORE UPDATE ON product WHEN old.quickid = 'AB-003' "
                      "BEGIN SELECT RAISE(ABORT, 'AB-003 is frozen'); END");
    ProcessResult r = console("yes\nok\nall\napply\nexit\n");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("[Update Incomplete] 4 products were updated. 1 product could not be updated: AB-003."),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Update Complete"), std::string::npos);
    // The run ends with the apply: the "exit" after it is never read.
    EXPECT_EQ(r.out.find("> ", r.out.find("[Update Incomplete]")), std::string::npos) << r.out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{11, 12, 3, 14, 15}));
}

TEST_F(ConsoleRunTest, NoAtTheVendorPromptCopiesAndOpensNothing)
{
    std::string before = readFile(hostPath);
    ProcessResult r = console("no\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("[Notice] You are running"), std::string::npos);
    EXPECT_EQ(r.out.find("[Backup Data]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Proposed Changes"), std::string::npos) << r.out;
    EXPECT_TRUE(besideHost().empty());
    EXPECT_EQ(readFile(hostPath), before);
}

TEST_F(ConsoleRunTest, OnlyTheChosenRowsAreWritten)
{
    ProcessResult r = console("yes\nok\nselect 2,4-5\nunselect 4\nselect 4\nlist\napply\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("3 of 5 selected"), std::string::npos) << r.out;
    EXPECT_NE(rowLine(r.out, 2).find("[x]"), std::string::npos) << r.out;
    EXPECT_NE(rowLine(r.out, 3).find("[ ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[Tarvex] Update Complete"), std::string::npos);
    EXPECT_EQ(hostCosts(), (std::vector<double>{1, 12, 3, 14, 15}));
}

// Filter, sort, the flagged rows and the export change what is shown and
// how rows are numbered, never the list nor what an apply writes.
TEST_F(ConsoleRunTest, FilterSortFlaggedAndExportWorkOnTheRowsShown)
{
    // AB-003's cost rises by less than double; every other one is flagged.
    execSql(hostPath, "UPDATE product SET cost = 12 WHERE quickid = 'AB-003'");
    ProcessResult r = console("yes\nok\nsort newcost desc\nfilter 4\nselect 1\nfilter\nlist flagged\n"
                              "export out.csv\nsort cost up\nsort\nselect 1\napply\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string& out = r.out;
    std::size_t sorted = out.find("> sort newcost desc");
    ASSERT_NE(sorted, std::string::npos) << out;
    EXPECT_NE(rowLine(out.substr(sorted, out.find("> filter 4") - sorted), 1).find("AB-005"), std::string::npos) << out;
    EXPECT_NE(out.find("1 shown \u00b7 0 of 5 selected"), std::string::npos) << out;
    std::size_t flagged = out.find("> list flagged");
    ASSERT_NE(flagged, std::string::npos);
    std::string flaggedList = out.substr(flagged, out.find("> export") - flagged);
    EXPECT_EQ(flaggedList.find("AB-003"), std::string::npos) << flaggedList;
    EXPECT_NE(flaggedList.find("4 shown \u00b7 1 of 5 selected"), std::string::npos) << flaggedList;
    EXPECT_NE(out.find("4 rows were exported to out.csv"), std::string::npos) << out;
    EXPECT_NE(out.find("Sort by one of code, name, cost, newcost, price, newprice, change"), std::string::npos);
    EXPECT_NE(out.find("[Tarvex] Update Complete\n    2 products updated."), std::string::npos) << out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{11, 2, 12, 14, 5}));

    std::vector<std::string> csv = lines(readFile(dir.file("out.csv")));
    ASSERT_EQ(csv.size(), 5u) << "the rows last shown: the flagged ones";
    EXPECT_EQ(csv[0], "\xEF\xBB\xBFSelected,Product Code,Product Name,Current Cost,New Cost,Current Price,New Price,"
                      "Change\r");
    EXPECT_EQ(csv[1], "No,AB-005,Product 5,5,15,20,20,\" Cost Change\"\r");
    EXPECT_EQ(csv[2].rfind("Yes,AB-004,", 0), 0u) << csv[2];
}

TEST_F(ConsoleRunTest, ApplyWithNothingSelectedIsRefusedAndTheReviewStaysOpen)
{
    ProcessResult r = console("yes\nok\nall\nnone\napply\nselect 9\nselect 1,x\napply\nfrobnicate\nhelp\nexit\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // A row list that is not understood selects none of its rows, so the
    // second apply is refused too.
    std::size_t refused = 0;
    for (std::size_t at = r.out.find("[Nothing Selected] Select products to update."); at != std::string::npos;
         at = r.out.find("[Nothing Selected]", at + 1))
        ++refused;
    EXPECT_EQ(refused, 2u) << r.out;
    EXPECT_EQ(r.out.find("Update Complete"), std::string::npos);
    EXPECT_NE(r.out.find("no row 9 (rows are 1 to 5)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"x\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Unknown command: frobnicate"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("select LIST"), std::string::npos);
    EXPECT_EQ(hostCosts(), original);
}

TEST_F(ConsoleRunTest, ExitAndTheEndOfInputLeaveTheHostAsItWas)
{
    ProcessResult exited = console("yes\nok\nall\nexit\napply\n");
    EXPECT_EQ(exited.exitCode, 0) << exited.err;
    EXPECT_EQ(exited.out.find("Update Complete"), std::string::npos);
    EXPECT_EQ(hostCosts(), original);

    // End of input at the vendor prompt answers No: no backup is made.
    fs::remove_all(dir.path() / "data" / besideHost().at(0));
    ProcessResult atVendor = console("");
    EXPECT_EQ(atVendor.exitCode, 0);
    EXPECT_EQ(atVendor.out.find("[Backup Data]"), std::string::npos) << atVendor.out;
    EXPECT_TRUE(besideHost().empty());

    // At the backup notice it answers Cancel: still no backup.
    ProcessResult atBackup = console("yes\n");
    EXPECT_EQ(atBackup.exitCode, 0);
    EXPECT_NE(atBackup.out.find("[Backup Data]"), std::string::npos);
    EXPECT_EQ(atBackup.out.find("Proposed Changes"), std::string::npos);
    EXPECT_TRUE(besideHost().empty());

    // At the review it leaves as Exit does, after the backup.
    ProcessResult atReview = console("yes\nok\nall\n");
    EXPECT_EQ(atReview.exitCode, 0);
    EXPECT_NE(atReview.out.find("5 of 5 selected"), std::string::npos);
    EXPECT_EQ(atReview.out.find("Update Complete"), std::string::npos);
    EXPECT_EQ(besideHost().size(), 1u);
    EXPECT_EQ(hostCosts(), original);
}

TEST_F(ConsoleRunTest, PrintsTheListToTextAndPdfFiles)
{
    std::string bad = dir.file("no/such/folder/list.txt");
    ProcessResult r =
        console("yes\nok\nselect 2\nprint list.txt\nprint " + dir.file("list.pdf") + "\nprint " + bad + "\nexit\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string text = readFile(dir.file("list.txt"));
    EXPECT_EQ(text.rfind("Product Updates\nProposed Product Changes\nVendor: Acme Beauty   ", 0), 0u) << text;
    std::vector<std::string> printed = lines(text);
    ASSERT_GT(printed.size(), 2u);
    EXPECT_EQ(printed[2].substr(printed[2].size() - hostPath.size()), hostPath) << text;
    EXPECT_NE(text.find("\n[ ]  AB-001 "), std::string::npos) << text;
    EXPECT_NE(text.find("\n[x]  AB-002 "), std::string::npos) << text;
    EXPECT_NE(text.find("AB-005"), std::string::npos);
    EXPECT_EQ(readFile(dir.file("list.pdf")).rfind("%PDF", 0), 0u);
    EXPECT_NE(r.out.find("[Print List] The list could not be printed."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(bad), std::string::npos);
    EXPECT_EQ(hostCosts(), original);

    // The host database is never printed over, even when the user says yes
    // or the name is a link to it; another existing file is replaced only
    // when the user says so, and the end of input says No.
    std::string before = readFile(hostPath);
    fs::create_symlink(hostPath, dir.file("host.txt"));
    ProcessResult over = console("yes\nok\nprint data/kv.mdb\nprint host.txt\nprint list.txt\n");
    EXPECT_NE(over.out.find("    data/kv.mdb: is " + hostPath), std::string::npos) << over.out;
    EXPECT_NE(over.out.find("    host.txt (a link to " + hostPath + "): is " + hostPath), std::string::npos)
        << over.out;
    EXPECT_NE(over.out.find("[Print List] list.txt already exists. Do you want to replace it?"), std::string::npos)
        << over.out;
    EXPECT_EQ(over.out.find("Update Complete"), std::string::npos) << over.out;
    EXPECT_EQ(readFile(hostPath), before);
    EXPECT_EQ(readFile(dir.file("list.txt")), text);
    ProcessResult replaced = console("yes\nok\nselect 2\nprint list.txt\nyes\nexit\n");
    EXPECT_NE(replaced.out.find("The list was printed to list.txt"), std::string::npos) << replaced.out;
    // The same list again, but for the time it was printed.
    std::vector<std::string> again = lines(readFile(dir.file("list.txt")));
    ASSERT_EQ(again.size(), printed.size());
    again.erase(again.begin() + 2);
    printed.erase(printed.begin() + 2);
    EXPECT_EQ(again, printed);
}

// An earlier apply saved AB-001 and AB-002 and was killed while it wrote
// AB-003, leaving a hot journal. The next run rolls that write back, says so,
// backs up the recovered file and lists exactly the products not yet written.
TEST_F(ConsoleRunTest, AWriteKilledPartWayIsRolledBackAndTheNextRunListsWhatIsNotWritten)
{
    execSql(hostPath, "UPDATE product SET cost = 10 + rowid WHERE quickid IN ('AB-001', 'AB-002')");
    leaveInterruptedWrite(hostPath, "UPDATE product SET cost = 13 WHERE quickid = 'AB-003'");
    ASSERT_TRUE(fs::exists(hostPath + "-journal"));

    ProcessResult r = console("yes\nok\nexit\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[Backup Data] An interrupted write to the database was rolled back before the backup copy "
                         "was made.\n    " +
                         hostPath + ": "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n3 Products to be Updated\n"), std::string::npos) << r.out;
    for (int row = 1; row <= 3; ++row)
        EXPECT_NE(rowLine(r.out, row).find("AB-00" + std::to_string(row + 2)), std::string::npos) << r.out;

    std::vector<std::string> beside = besideHost();
    ASSERT_EQ(beside.size(), 1u);
    std::string backup = dir.file("data/" + beside[0]);
    EXPECT_NE(r.out.find(backup), std::string::npos) << r.out;
    EXPECT_EQ(integrityCheck(backup), "ok");
    EXPECT_EQ(readFile(backup), readFile(hostPath));
    EXPECT_EQ(hostCosts(), (std::vector<double>{11, 12, 3, 4, 5}));
}

TEST_F(ConsoleRunTest, WithoutADisplayTheTerminalIsUsedUnasked)
{
    ProcessResult r = run({}, "no\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Corvane Tarvex", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("[Notice] You are running"), std::string::npos);
}

TEST_F(ConsoleRunTest, LocatePrintsThePathARunWouldUse)
{
    ProcessResult stored = run({"--locate"}, "");
    EXPECT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_EQ(stored.out, hostPath + "\n");
    EXPECT_TRUE(besideHost().empty()) << "nothing is copied or opened";

    // The logon settings file in the stored location's folder leads on,
    // its value taken exactly as written.
    dir.write("data/logon.ini", "[LogOn]\nDBPath=/srv/Brindle Data\n");
    EXPECT_EQ(run({"--locate"}, "").out, "/srv/Brindle Data/kv.mdb\n");
    fs::remove(dir.file("data/logon.ini"));
    dir.write("data/kvlogon.ini", "[LogOn]\nDataPath=/srv/kv/\n");
    EXPECT_EQ(run({"--locate"}, "").out, "/srv/kv//kv.mdb\n");

    // A stored location that does not exist is still only printed.
    dir.write("Merlow.INI", "[Settings]\nDBLocation=/nowhere/kv.mdb\n");
    ProcessResult missing = run({"--locate"}, "");
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_EQ(missing.out, "/nowhere/kv.mdb\n");
    // A control character in it is shown as an escape.
    dir.write("Merlow.INI", "[Settings]\nDBLocation=/srv/\x1b[2Jkv.mdb\n");
    EXPECT_EQ(run({"--locate"}, "").out, "/srv/\\x1b[2Jkv.mdb\n");

    fs::remove(dir.file("Merlow.INI"));
    ProcessResult none = run({"--locate"}, "");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.empty()) << none.out;
    EXPECT_NE(none.err.find("Merlow.INI"), std::string::npos) << none.err;
}

// A vendor's folder, or its price list under any name, named on the command
// line (as the desktop entry's %f does) takes the place of the program's
// folder: its price list and its Merlow.INI are used, not those beside the
// program.
TEST_F(ConsoleRunTest, AFolderOrAPriceListFileTakesThePlaceOfTheProgramsFolder)
{
    dir.write("Merlow.INI", "[Settings]\nDBLocation=/not/this/kv.mdb\n");
    std::string vendor = dir.file("Lumen delivery");
    fs::create_directories(vendor);
    std::vector<VendorRow> rows;
    for (int i = 1; i <= 5; ++i)
        rows.push_back({i, "AB-00" + std::to_string(i), "Product " + std::to_string(i), 30.0 + i, 20.0});
    makeUpdateDatabase(vendor + "/invupdate.mdb", {"Lumen Professional"}, rows);
    dir.write("Lumen delivery/Merlow.INI", "[Settings]\nDBLocation=" + hostPath + "\n");

    ProcessResult folder = run({"--console", vendor}, "yes\nok\nall\napply\n");
    EXPECT_EQ(folder.exitCode, 0) << folder.out << folder.err;
    EXPECT_NE(folder.out.find("Vendor:Lumen Professional, Continue?"), std::string::npos) << folder.out;
    EXPECT_NE(folder.out.find("[Tarvex] Update Complete"), std::string::npos) << folder.out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{31, 32, 33, 34, 35}));

    // A price list of another name, given as a file.
    fs::rename(vendor + "/invupdate.mdb", vendor + "/lumen-2027.mdb");
    ProcessResult file = run({vendor + "/lumen-2027.mdb"}, "yes\nok\nexit\n");
    EXPECT_EQ(file.exitCode, 0) << file.out << file.err;
    EXPECT_NE(file.out.find("Vendor:Lumen Professional, Continue?"), std::string::npos) << file.out;

    // A file that is not a price list is the price list that cannot be loaded.
    std::string notes = dir.write("Lumen delivery/notes.txt", "Thank you for your order.");
    ProcessResult text = run({notes}, "");
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_NE(text.out.find("[ERROR] Error Loading database"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(notes), std::string::npos) << text.out;
    // A path that names nothing is a usage error; a named folder without a
    // price list is a loading error, and nothing is looked for elsewhere.
    ProcessResult nowhere = run({dir.file("nowhere")}, "");
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_EQ(nowhere.err.rfind("Usage: tarvex", 0), 0u) << nowhere.err;
    EXPECT_NE(nowhere.err.find(dir.file("nowhere")), std::string::npos) << nowhere.err;
    ProcessResult empty = run({dir.file("data")}, "");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.out.find(dir.file("data") + "/invupdate.mdb"), std::string::npos) << empty.out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{31, 32, 33, 34, 35}));
}

// --locate takes the folder argument too, and says on standard error which
// settings file the location came from: the folder's Merlow.INI, else the
// user's own.
TEST_F(ConsoleRunTest, LocateSaysWhichSettingsFileTheLocationCameFrom)
{
    ProcessResult beside = run({"--locate"}, "");
    EXPECT_EQ(beside.out, hostPath + "\n");
    EXPECT_NE(beside.err.find(dir.file("Merlow.INI")), std::string::npos) << beside.err;

    std::string vendor = dir.file("vendor");
    fs::create_directories(vendor);
    ProcessResult none = run({"--locate", vendor}, "");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find(vendor + "/Merlow.INI"), std::string::npos) << none.err;
    EXPECT_NE(none.err.find(dir.file("config/tarvex/Merlow.INI")), std::string::npos) << none.err;

    std::string user = dir.write("config/tarvex/Merlow.INI", "[Settings]\nDBLocation=/srv/salon/kv.mdb\n");
    ProcessResult fromUser = run({vendor, "--locate"}, "");
    EXPECT_EQ(fromUser.exitCode, 0) << fromUser.err;
    EXPECT_EQ(fromUser.out, "/srv/salon/kv.mdb\n");
    EXPECT_NE(fromUser.err.find("location from " + user), std::string::npos) << fromUser.err;
    EXPECT_EQ(run({"--locate"}, "").out, hostPath + "\n") << "the program folder's own comes first";
}

TEST_F(ConsoleRunTest, HelpVersionAndABadArgument)
{
    ProcessResult help = run({"--help"}, "");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: tarvex", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--locate"), std::string::npos);
    EXPECT_NE(help.out.find("FOLDER"), std::string::npos);
    EXPECT_NE(help.out.find("tarvex/Merlow.INI"), std::string::npos);

    ProcessResult version = run({"--version"}, "");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("Tarvex ", 0), 0u) << version.out;
    EXPECT_EQ(lines(version.out).size(), 1u);
    EXPECT_TRUE(version.err.empty()) << version.err;

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--frobnicate"}, std::vector<std::string>{"--console", "--locate"}}) {
        ProcessResult r = run(bad, "");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(r.err.rfind("Usage: tarvex", 0), 0u) << r.err;
    }
    EXPECT_EQ(hostCosts(), original);
}

} // namespace

} // namespace tarvex::test

namespace tarvex::test {
namespace {
// Under a file-size limit the backup fits in but the listing does not, the
// print fails with the reason and the old file stays whole, with nothing
// left beside it.
TEST_F(ConsoleRunTest, APrintThatMeetsAFullDiskLeavesTheOldFileAsItWas)
{
    std::vector<VendorRow> vendor;
    for (int i = 1; i <= 5; ++i)
        vendor.push_back({i, "AB-00" + std::to_string(i), std::string(100000, 'n'), 10.0 + i, 20.0});
    fs::remove(dir.file("invupdate.mdb"));
    makeUpdateDatabase(dir.file("invupdate.mdb"), {"Acme Beauty"}, vendor);
    dir.write("list.txt", "the old list\n");
    ProcessResult r =
        run({"--console"}, "yes\nok\nprint list.txt\nyes\nexit\n", {"/usr/bin/prlimit", "--fsize=262144", "--"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[Print List] The list could not be printed."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("File too large"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir.file("list.txt")), "the old list\n");
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

// A vendor name or product code holding control characters reaches the
// terminal as escapes: it can neither rewrite the question nor start a line.
TEST_F(ConsoleRunTest, ControlCharactersFromTheFilesAreShownAsEscapes)
{
    fs::remove(dir.file("invupdate.mdb"));
    makeUpdateDatabase(dir.file("invupdate.mdb"), {"Shady Supplies\x1b[2K\rVendor:Lumen\x9b"},
                       {{1, "AB-001\n[Notice] x", "Name\x1b]0;title\x07", 11.0, 20.0}});
    fs::remove(hostPath);
    makeHostDatabase(hostPath, {{"AB-001\n[Notice] x", 1.0, 20.0, 0, "Name"}});
    ProcessResult r = console("yes\nok\nlist\nprint list.txt\nexit\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Vendor:Shady Supplies\\x1b[2K\\x0dVendor:Lumen\\x9b, Continue?"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("AB-001\\x0a[Notice] x"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Name\\x1b]0;title\\x07"), std::string::npos) << r.out;
    for (const std::string& text : {r.out, readFile(dir.file("list.txt"))})
        EXPECT_EQ(text.find_first_of("\x1b\x07\r\x9b"), std::string::npos) << text;
}

// Under a file-size limit smaller than the host file the backup cannot be
// written: the run says so and ends, instead of being killed by SIGXFSZ half
// way through with a partial copy left behind.
TEST_F(ConsoleRunTest, AFileSizeLimitFailsTheBackupCleanly)
{
    std::string before = readFile(hostPath);
    ASSERT_GT(before.size(), 4096u);
    ProcessOptions options;
    options.input = "yes\nok\nall\napply\n";
    options.workingDirectory = dir.path().string();
    options.environment = {"DISPLAY=", "WAYLAND_DISPLAY=",
                           std::string("LSAN_OPTIONS=suppressions=") + TARVEX_SOURCE_DIR + "/tests/lsan.supp"};
    ProcessResult r = runProcess({"/usr/bin/prlimit", "--fsize=4096", "--", program, "--console"}, options);
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("[Backup Data] The backup copy of " + hostPath + " could not be made"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Proposed Changes to Products"), std::string::npos);
    EXPECT_TRUE(besideHost().empty());
    EXPECT_EQ(readFile(hostPath), before);
}

// Genuine Access files of every format, as the vendor's list and the host:
// the same run, the same listing as the rules give, and a backup that is a
// copy of the host's bytes.
TEST_F(ConsoleRunTest, AccessFilesOfEveryFormatListWhatTheRulesGive)
{
    for (const char* format : {"2000.mdb", "2003.mdb", "2007.accdb", "2010.accdb"}) {
        SCOPED_TRACE(format);
        useAccessFiles(std::string("invupdate-") + format, std::string("kv-") + format);
        std::string before = readFile(hostPath);
        ProcessResult r = console("yes\nok\nlist\nexit\n");
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("Vendor:Brightwell Salon Supply, Continue?"), std::string::npos) << r.out;
        EXPECT_EQ(listing(r.out), kAccessListing) << r.out;
        EXPECT_EQ(readFile(hostPath), before);
        std::vector<std::string> beside = besideHost();
        ASSERT_EQ(beside.size(), 1u);
        EXPECT_EQ(readFile(dir.file("data/" + beside[0])), before);
        fs::remove(dir.file("data/" + beside[0]));
    }
}

// Either file may be of either kind: an SQLite list against an Access host
// and an Access list against an SQLite host, holding the same values, list
// exactly the same.
TEST_F(ConsoleRunTest, AccessAndSqliteFilesMixAndListTheSame)
{
    std::string sqliteList = dir.file("sqlite-list.mdb");
    std::string sqliteHost = dir.file("sqlite-kv.mdb");
    writeSqliteCopies(accessFixture("invupdate-2000.mdb"), accessFixture("kv-2000.mdb"), sqliteList, sqliteHost);

    useAccessFiles("invupdate-2000.mdb", "");
    fs::copy_file(sqliteHost, hostPath, fs::copy_options::overwrite_existing);
    ProcessResult r = console("yes\nok\nexit\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(listing(r.out), kAccessListing) << r.out;

    fs::copy_file(sqliteList, dir.file("invupdate.mdb"), fs::copy_options::overwrite_existing);
    useAccessFiles("", "kv-2000.mdb");
    r = console("yes\nok\nexit\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(listing(r.out), kAccessListing) << r.out;
}

// A host product's code and amounts after a run.
struct ProductAmounts {
    std::optional<std::string> quickid;
    std::optional<double> cost;
    std::optional<double> price;
    bool operator==(const ProductAmounts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ProductAmounts& p)
{
    auto number = [](std::optional<double> n) { return n ? std::to_string(*n) : std::string("empty"); };
    return out << p.quickid.value_or("(none)") << " " << number(p.cost) << "/" << number(p.price);
}

// The products of an Access host in its primary key's order, as this
// program's Access engine reads them, with where each record lives.
std::vector<ProductAmounts> accessHostAmounts(const std::string& path, std::vector<AccessPlace>* places = nullptr)
{
    std::vector<ProductAmounts> products;
    Result<AccessFile> file = AccessFile::open(path);
    EXPECT_TRUE(file.ok()) << file.error();
    if (!file.ok())
        return products;
    Result<AccessTable> table = file->openTable("product", {"quickid", "cost", "retailprice"});
    EXPECT_TRUE(table.ok() && table->setIndex("PrimaryKey").ok());
    for (Status walk = table->moveFirst(); walk.ok() && !table->eof(); walk = table->moveNext()) {
        products.push_back({*table->text("quickid"), *table->number("cost"), *table->number("retailprice")});
        if (places)
            places->push_back(table->place());
    }
    return products;
}

// The same as libmdb's mdb-export reads them, in the order of their ID.
std::vector<ProductAmounts> exportedHostAmounts(const std::string& path)
{
    std::map<long, ProductAmounts> byId;
    std::optional<std::vector<std::map<std::string, std::string>>> rows = mdbExportRows(path, "product");
    EXPECT_TRUE(rows);
    auto number = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional<double>(std::strtod(text.c_str(), nullptr));
    };
    for (std::map<std::string, std::string>& row : rows.value_or(std::vector<std::map<std::string, std::string>>{}))
        byId[std::stol(row["ID"])] = {row["quickid"], number(row["cost"]), number(row["retailprice"])};
    std::vector<ProductAmounts> products;
    for (auto& [id, product] : byId)
        products.push_back(product);
    return products;
}

std::vector<ProductAmounts> sqliteHostAmounts(const std::string& path)
{
    std::vector<ProductAmounts> products;
    for (const HostRow& row : readHostProducts(path))
        products.push_back({row.quickid, row.cost, row.price});
    return products;
}

// A lock file left by two users who have gone: nobody holds its entries.
std::string staleLockFile()
{
    std::string entries;
    for (const char* name : {"FRONTDESK", "BACKOFFICE"})
        entries += std::string(name) + std::string(32 - std::strlen(name), '\0') + "Admin" + std::string(27, '\0');
    return entries;
}

// "Apply Changes" with every row selected, on an Access host as on an SQLite
// host holding the same values: the rules decide the same, so the products
// read the same afterwards, in this program's reader and in libmdb; only the
// bytes of the written amounts (and their null-mask bits) change, in the
// records that change; a lock file is left as it was found. Over the hosts
// of every format, and the variants: Currency, Single, a moved row and a
// validation rule are written, a price list's Decimal amounts read; the
// records older than the amount columns are named as not updated; codes
// that differ in the case of letters beyond ASCII match alike.
TEST_F(ConsoleRunTest, ApplyWritesIntoAccessHostsWhatItWritesIntoSqliteHosts)
{
    struct Case {
        std::string list;
        std::string host;
        std::vector<std::string> refused; // codes named as not updated
        std::string reason;               // in the first one's text
        bool withLockFile = false;        // a stale lock file is there
    };
    const std::vector<std::string> all = {"BW-100", "BW-101", "BW-103", "BW-104", "BW-105", "BW-106",
                                          "BW-108", "BW-109", "BW-111", "BW-112", "BW-113", "BW-114"};
    const Case cases[] = {
        {"invupdate-2000.mdb", "kv-2000.mdb", {}, "", true},
        {"invupdate-2003.mdb", "kv-2003.mdb"},
        {"invupdate-2007.accdb", "kv-2007.accdb", {}, "", true},
        {"invupdate-2010.accdb", "kv-2010.accdb"},
        {"invupdate-2000.mdb", "kv-currency-2000.mdb"},
        {"invupdate-2000.mdb", "kv-single-2000.mdb"},
        {"invupdate-decimal-2000.mdb", "kv-2000.mdb"},
        {"invupdate-2000.mdb", "kv-overflow-2000.mdb"},
        {"invupdate-2000.mdb", "kv-validation-2000.mdb"},
        // Codes differing in the case of letters beyond ASCII (É/é, İ/i, ẞ/ß, Ω/ω, ...).
        {"invupdate-case-2000.mdb", "kv-case-2000.mdb"},
        {"invupdate-2000.mdb",
         "kv-addedcols-2000.mdb",
         {"BW-100", "BW-101", "BW-113"},
         "the record was written before \"cost\" was added to the table, so it has no place for it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        // The run over SQLite copies of the same files gives what the rules
        // write.
        std::string sqliteList = dir.file("sqlite-list.mdb");
        std::string sqliteHost = dir.file("sqlite-kv.mdb");
        fs::remove(sqliteList);
        fs::remove(sqliteHost);
        writeSqliteCopies(accessFixture(c.list), accessFixture(c.host), sqliteList, sqliteHost);
        fs::copy_file(sqliteList, dir.file("invupdate.mdb"), fs::copy_options::overwrite_existing);
        fs::copy_file(sqliteHost, hostPath, fs::copy_options::overwrite_existing);
        ProcessResult r = console("yes\nok\nall\napply\n");
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        std::vector<ProductAmounts> expected = sqliteHostAmounts(hostPath);
        for (const std::string& name : besideHost())
            fs::remove(dir.file("data/" + name));

        useAccessFiles(c.list, c.host);
        std::string lockFile = dir.file(c.host.ends_with(".accdb") ? "data/kv.laccdb" : "data/kv.ldb");
        if (c.withLockFile)
            dir.write(lockFile.substr(dir.path().string().size() + 1), staleLockFile());
        std::string before = readFile(hostPath);
        std::vector<AccessPlace> places;
        std::vector<ProductAmounts> original = accessHostAmounts(hostPath, &places);
        ASSERT_EQ(original.size(), expected.size());
        // Those not written keep what they held (the host's bw-105 is
        // BW-105's).
        auto refused = [&](std::string code) {
            std::transform(code.begin(), code.end(), code.begin(), [](unsigned char ch) { return std::toupper(ch); });
            return std::find(c.refused.begin(), c.refused.end(), code) != c.refused.end();
        };
        for (std::size_t i = 0; i < expected.size(); ++i)
            if (refused(expected[i].quickid.value_or("")))
                expected[i] = original[i];
        std::set<std::size_t> planned;
        {
            Result<AccessFile> file = AccessFile::open(hostPath);
            ASSERT_TRUE(file.ok());
            Result<AccessTableDefinition> definition = file->definition("product");
            ASSERT_TRUE(definition.ok());
            for (std::size_t i = 0; i < expected.size(); ++i)
                if (expected[i] != original[i])
                    addAmountOffsets(*file, *definition, places[i], {"cost", "retailprice"}, planned);
        }

        r = console("yes\nok\nall\napply\n");
        if (c.refused.empty()) {
            EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
            EXPECT_NE(r.out.find("Update Complete"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
            // BW-109 is listed twice.
            std::size_t failed = c.refused.size() + (refused("BW-109") ? 1 : 0);
            EXPECT_NE(r.out.find("[Update Incomplete] " + std::to_string(all.size() + 1 - failed) +
                                 " products were updated. " + std::to_string(failed) +
                                 " products could not be updated"),
                      std::string::npos)
                << r.out;
            bool named = false;
            for (const std::string& line : lines(r.out))
                named = named || (line.find(c.refused[0] + ": " + hostPath + ": ") != std::string::npos &&
                                  line.find(c.reason) != std::string::npos);
            EXPECT_TRUE(named) << r.out;
        }
        EXPECT_EQ(accessHostAmounts(hostPath), expected);
        if (haveMdbExport()) {
            EXPECT_EQ(exportedHostAmounts(hostPath), expected);
        }
        std::set<std::size_t> changed = differingOffsets(before, readFile(hostPath));
        EXPECT_EQ(changed.empty(), c.refused == all);
        for (std::size_t offset : changed)
            EXPECT_TRUE(planned.count(offset)) << "byte " << offset << " changed unplanned";
        if (c.withLockFile) {
            EXPECT_EQ(readFile(lockFile), staleLockFile());
        } else {
            EXPECT_FALSE(fs::exists(lockFile));
        }
        for (const std::string& name : besideHost())
            fs::remove(dir.file("data/" + name));
    }
}

// An Access host that cannot be read, whose product table cannot be written,
// or that another program has open, ends the run before the review with a message naming the file and the reason,
// and no backup copy is made.
TEST_F(ConsoleRunTest, AnAccessHostThatCannotBeUsedEndsTheRunWithoutACopy)
{
    struct Case {
        const char* what;
        std::string host;  // a fixture, or empty for kv-2000.mdb
        std::size_t keep;  // bytes kept of the host, 0 for all
        bool holdOpen;     // this test process keeps the host open
        std::string shown; // in the message
        // A column of product whose entry in the definition is changed, and
        // the field and its new value.
        std::vector<std::string> redefined = {};
        column_entry::Field field = column_entry::kType;
        unsigned value = 0;
    };
    const Case cases[] = {
        {"encrypted", "V2010_with-password.accdb", 0, false, "the database is encrypted"},
        {"cut short", "kv-2000.mdb", 100000, false, "damaged: the file is cut short"},
        {"product table linked to another file", "kv-linked-2000.mdb", 0, false,
         "table \"product\" is a linked table; its records are in \"\\\\FRONTDESK\\Salon\\kv_be.mdb\""},
        {"open in another program", "kv-2000.mdb", 0, true,
         "Close the salon application on every computer and run Tarvex again."},
        {"cost in an index", "kv-costindex-2000.mdb", 0, false,
         "table \"product\", column \"cost\" is part of the index \"CostIdx\""},
        // Date/Time columns store a count of days as a Double is stored.
        {"amounts stored as dates",
         "kv-2000.mdb",
         0,
         false,
         "column \"cost\" of table \"product\" holds dates (a Date/Time column), not amounts",
         {"cost", "retailprice"},
         column_entry::kType,
         0x08},
        {"a definition that puts the price over onhand",
         "kv-2000.mdb",
         0,
         false,
         "damaged: the definition of table \"product\": column \"retailprice\" and column \"onhand\" share bytes",
         {"retailprice"},
         column_entry::kFixedOffset,
         20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useAccessFiles("invupdate-2000.mdb", c.host);
        if (c.keep != 0)
            fs::resize_file(hostPath, c.keep);
        for (const std::string& column : c.redefined)
            setColumnEntry(hostPath, "product", column, c.field, c.value);
        std::string before = readFile(hostPath);
        int held = c.holdOpen ? ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC) : -1;
        ProcessResult r = console("yes\nok\nall\napply\n");
        if (held >= 0)
            ::close(held);
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(hostPath), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Proposed Changes to Products"), std::string::npos) << r.out;
        EXPECT_TRUE(besideHost().empty());
        EXPECT_EQ(readFile(hostPath), before);
    }
}

// On a Currency or Single host, vendor values with more digits than the
// column keeps are decided, shown and recorded as the column stores them: a
// product they would not change is not listed, the next run lists nothing,
// and --undo puts back what the host held.
TEST_F(ConsoleRunTest, OnCurrencyAndSingleHostsARunDecidesAndRecordsWhatTheColumnStores)
{
    struct Case {
        std::string host;
        double cost, price;     // for BW-102, at 10 / 25
        double stored;          // the cost the column keeps; the price stays 25
        std::string shown;      // stored, as the list shows it
        double unseen, unseen2; // for BW-100, at 10 / 25: nothing the column keeps
    };
    const Case cases[] = {
        {"kv-currency-2000.mdb", 10.12345, 25.00001, 10.1234, "10.1234", 10.00001, 25.00004},
        {"kv-single-2000.mdb", 10.123456789, 25.0000001, 10.123457, "10.123457", 10.0000001, 24.9999999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        fs::remove_all(dir.path() / "data");
        fs::create_directories(dir.path() / "data");
        useAccessFiles("", c.host);
        fs::remove(dir.file("invupdate.mdb"));
        makeUpdateDatabase(dir.file("invupdate.mdb"), {"Acme Beauty"},
                           {{1, "BW-100", "Unseen", c.unseen, c.unseen2}, {2, "BW-102", "Rounded", c.cost, c.price}});
        auto amounts = [&] {
            for (const ProductAmounts& product : accessHostAmounts(hostPath))
                if (product.quickid == "BW-102")
                    return product;
            return ProductAmounts{};
        };
        ASSERT_EQ(amounts(), (ProductAmounts{"BW-102", 10, 25}));

        ProcessResult r = console("yes\nok\nall\napply\n");
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("\n1 Products to be Updated\n"), std::string::npos) << r.out;
        // The cells from Current Cost to Change.
        std::vector<std::string> cells;
        std::stringstream row(rowLine(r.out, 1));
        for (std::string cell; std::getline(row, cell, '|');) {
            std::size_t from = cell.find_first_not_of(' ');
            cells.push_back(from == std::string::npos ? "" : cell.substr(from, cell.find_last_not_of(' ') + 1 - from));
        }
        ASSERT_EQ(cells.size(), 9u) << r.out;
        EXPECT_EQ(std::vector<std::string>(cells.begin() + 4, cells.end()),
                  (std::vector<std::string>{"10", c.shown, "25", "25", "Cost Change"}));
        EXPECT_EQ(amounts(), (ProductAmounts{"BW-102", c.stored, 25}));

        r = console("yes\nok\nexit\n");
        EXPECT_NE(r.out.find("\n0 Products to be Updated\n"), std::string::npos) << r.out;

        // The record holds the cost the column kept. A record made before
        // runs recorded that form holds the vendor's digits: --undo must
        // still know the product as the run left it.
        sqlite3* record = nullptr;
        ASSERT_EQ(sqlite3_open((hostPath + "_TarvexHistory").c_str(), &record), SQLITE_OK);
        sqlite3_stmt* after = nullptr;
        sqlite3_prepare_v2(record, "SELECT cost_after FROM entry WHERE code = 'BW-102'", -1, &after, nullptr);
        ASSERT_EQ(sqlite3_step(after), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_double(after, 0), c.stored);
        sqlite3_finalize(after);
        char older[160];
        std::snprintf(older, sizeof older,
                      "UPDATE entry SET cost_after = %.17g, price_after = %.17g WHERE code = 'BW-102'", c.cost,
                      c.price);
        EXPECT_EQ(sqlite3_exec(record, older, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(record);

        r = run({"--undo"}, "yes\nok\nall\napply\n");
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(r.out.find("Changed since"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("[Tarvex] Update Complete"), std::string::npos) << r.out;
        EXPECT_EQ(amounts(), (ProductAmounts{"BW-102", 10, 25}));
    }
}

} // namespace
} // namespace tarvex::test

namespace tarvex::test {

namespace {

// A run, then --undo: the product rows are again byte for byte those of the
// backup made before the run, an empty cost and price included, and a product
// the price list holds twice goes back to its values before the first of its
// two saves. --history shows both runs, and the undo is itself undone by the
// next --undo.
TEST_F(ConsoleRunTest, AnUndoPutsBackWhatARunChangedAndTheHistoryShowsBoth)
{
    ProcessResult none = run({"--history"}, "");
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_NE(none.out.find("none recorded"), std::string::npos) << none.out;
    EXPECT_FALSE(fs::exists(recordPath)) << "--history creates nothing";

    execSql(hostPath, "UPDATE product SET cost = NULL, retailprice = NULL WHERE quickid = 'AB-003'");
    std::vector<VendorRow> vendor;
    for (int i = 1; i <= 5; ++i)
        vendor.push_back({i, "AB-00" + std::to_string(i), "Product " + std::to_string(i), 10.0 + i, 20.0});
    vendor.push_back({6, "AB-004", "Product 4 (new pack)", 30.0, 25.0});
    fs::remove(dir.file("invupdate.mdb"));
    makeUpdateDatabase(dir.file("invupdate.mdb"), {"Acme Beauty"}, vendor);

    ProcessResult applied = console("yes\nok\nall\napply\n");
    ASSERT_NE(applied.out.find("[Tarvex] Update Complete"), std::string::npos) << applied.out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{11, 12, 13, 30, 15}));
    std::string before = tableRows(backups().at(0), "product");
    ProcessResult history = run({"--history"}, "");
    EXPECT_EQ(history.exitCode, 0) << history.err;
    std::string first = rowLine(history.out, 1);
    EXPECT_NE(first.find("Acme Beauty"), std::string::npos) << history.out;
    EXPECT_NE(first.find(" 5 | "), std::string::npos) << "AB-004, saved twice, counts once: " << history.out;
    EXPECT_NE(first.find(fs::path(backups().at(0)).filename().string()), std::string::npos) << history.out;
    EXPECT_EQ(first.substr(first.size() - 2), "No") << history.out;
    ProcessResult products = run({"--history", "1"}, "");
    EXPECT_EQ(products.exitCode, 0) << products.err;
    std::vector<std::string> productLines;
    for (const std::string& line : lines(products.out))
        if (line.rfind("AB-00", 0) == 0)
            productLines.push_back(line);
    ASSERT_EQ(productLines.size(), 5u) << products.out;
    EXPECT_NE(productLines[2].find("(empty)"), std::string::npos) << products.out;
    EXPECT_NE(productLines[3].find(" 4 | "), std::string::npos) << products.out;
    EXPECT_NE(productLines[3].find(" 30 | "), std::string::npos) << products.out;
    EXPECT_NE(productLines[3].find("Saved"), std::string::npos) << products.out;
    EXPECT_EQ(run({"--history", "7"}, "").exitCode, 1);

    ProcessResult undo = run({"--undo"}, "yes\nok\nall\napply\n");
    EXPECT_EQ(undo.exitCode, 0) << undo.out << undo.err;
    EXPECT_NE(undo.out.find("[Notice] You are undoing the price update of "), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find(" for Vendor:Acme Beauty, Continue?"), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find("[Backup Data] The Tarvex program will backup your data"), std::string::npos);
    EXPECT_NE(undo.out.find("Undo Price Update\n#"), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find("\n5 Products to be Put Back\n"), std::string::npos) << undo.out;
    EXPECT_NE(rowLine(undo.out, 3).find("(empty)"), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find("[Tarvex] Update Complete"), std::string::npos) << undo.out;
    EXPECT_EQ(tableRows(hostPath, "product"), before);
    EXPECT_EQ(backups().size(), 2u) << "the undo made its own backup";

    history = run({"--history"}, "");
    EXPECT_NE(rowLine(history.out, 2).find("Undo of 1: Acme Beauty"), std::string::npos) << history.out;
    EXPECT_EQ(rowLine(history.out, 1).substr(rowLine(history.out, 1).size() - 3), "Yes") << history.out;

    // The undo is a run like another: undoing it brings the new values back.
    ProcessResult again = run({"--console", "--undo"}, "yes\nok\nall\napply\n");
    EXPECT_NE(again.out.find("[Tarvex] Update Complete"), std::string::npos) << again.out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{11, 12, 13, 30, 15}));
    history = run({"--history"}, "");
    EXPECT_EQ(rowLine(history.out, 1).substr(rowLine(history.out, 1).size() - 2), "No") << history.out;
    // The host holds what run 1 wrote again, so run 1 can be undone again
    // by its number.
    ProcessResult byNumber = run({"--undo", "1"}, "yes\nok\nall\napply\n");
    EXPECT_EQ(byNumber.exitCode, 0) << byNumber.out;
    EXPECT_EQ(tableRows(hostPath, "product"), before);
    ProcessResult missing = run({"--undo", "9"}, "yes\n");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("There is no price update number 9"), std::string::npos) << missing.out;
}

// A product another program changed after the run is listed, marked, and not
// put back even when selected; the others are, and the report names it.
TEST_F(ConsoleRunTest, AnUndoLeavesAProductChangedSinceAndNamesIt)
{
    ASSERT_EQ(console("yes\nok\nall\napply\n").exitCode, 0);
    execSql(hostPath, "UPDATE product SET cost = 99 WHERE quickid = 'AB-002'");
    ProcessResult undo = run({"--undo"}, "yes\nok\nlist\nall\napply\n");
    EXPECT_EQ(undo.exitCode, 1) << undo.out;
    EXPECT_NE(rowLine(undo.out, 2).find("Changed since"), std::string::npos) << undo.out;
    EXPECT_EQ(rowLine(undo.out, 1).find("Changed since"), std::string::npos) << undo.out;
    EXPECT_NE(undo.out.find("[Update Incomplete] 4 products were updated. 1 product could not be updated: AB-002."),
              std::string::npos)
        << undo.out;
    EXPECT_EQ(hostCosts(), (std::vector<double>{1, 99, 3, 4, 5}));
    ProcessResult history = run({"--history"}, "");
    EXPECT_EQ(rowLine(history.out, 1).substr(rowLine(history.out, 1).size() - 6), "Partly") << history.out;
}

// A record that cannot be written ends the run before the backup; a damaged
// record stops the apply before the first save: the user is told why, the
// backup stays, the record is moved aside, and the next run keeps a new
// record.
TEST_F(ConsoleRunTest, ARecordThatCannotBeWrittenLeavesTheHostUntouched)
{
    fs::create_directories(recordPath);
    ProcessResult folder = console("yes\nok\nall\napply\n");
    EXPECT_EQ(folder.exitCode, 1) << folder.out;
    EXPECT_NE(folder.out.find("[Critical Error] Unable to Open Database"), std::string::npos) << folder.out;
    EXPECT_NE(folder.out.find(recordPath + ": is not a file"), std::string::npos) << folder.out;
    EXPECT_EQ(folder.out.find("[Backup Data]"), std::string::npos) << folder.out;
    EXPECT_EQ(hostCosts(), original);
    EXPECT_EQ(backups().size(), 0u);
    fs::remove(recordPath);

    std::string damaged = dir.write("data/kv.mdb_TarvexHistory", "not a record");
    ProcessResult moved = console("yes\nok\nall\napply\n");
    EXPECT_EQ(moved.exitCode, 1) << moved.out;
    EXPECT_NE(moved.out.find("moved aside, unchanged, to " + recordPath + ".damaged-"), std::string::npos) << moved.out;
    EXPECT_EQ(hostCosts(), original);
    EXPECT_FALSE(fs::exists(recordPath));

    ProcessResult next = console("yes\nok\nall\napply\n");
    EXPECT_NE(next.out.find("[Tarvex] Update Complete"), std::string::npos) << next.out;
    EXPECT_TRUE(fs::exists(recordPath));
}

} // namespace

} // namespace tarvex::test
