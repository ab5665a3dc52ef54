// The sample host maker: the host products it makes for a vendor's codes,
// the file it writes, and, with the sample price list, a review list built by
// the program's own code that shows every kind of change.
#include "samplehost/SampleHost.h"

#include "data/HostDatabase.h"
#include "data/UpdateDatabase.h"
#include "pricelist/PriceListWriter.h"
#include "review/ChangeList.h"
#include "support/ProcessRunner.h"
#include "support/SampleDatabases.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

using namespace tarvex;
using namespace tarvex::test;
using ::testing::HasSubstr;

namespace {

const std::string kSample = std::string(TARVEX_SOURCE_DIR) + "/samples/vendor-prices.csv";

bool sameCode(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

TEST(SampleHostTest, EachCaseSetsTheHostAgainstTheVendorAsItSays)
{
    std::vector<PriceListEntry> prices;
    for (int i = 0; i < 22; ++i)
        prices.push_back(
            {i + 2, "VC-" + std::to_string(i) + "x", "Product " + std::to_string(i), 10.0 + i, 25.0 + i, false});
    // A deleted row followed by a live one of the same code: the live one's
    // values count. A repeated code makes no second match.
    prices[0].deleted = true;
    prices.push_back({30, "vc-0X", "Product 0 (live)", 50.0, 80.0, false});

    std::vector<VendorMatch> matches = SampleHost::matchVendorPrices(prices, 1);
    ASSERT_EQ(matches.size(), 22u);
    std::set<HostCase> seen;
    for (size_t i = 0; i < matches.size(); ++i) {
        const VendorMatch& m = matches[i];
        const PriceListEntry& vendor = i == 0 ? prices.back() : prices[i];
        seen.insert(m.hostCase);
        SCOPED_TRACE(m.quickid);
        if (m.hostCase == HostCase::Absent) {
            EXPECT_TRUE(m.products.empty());
            continue;
        }
        ASSERT_FALSE(m.products.empty());
        const HostProduct& host = m.products.front();
        EXPECT_TRUE(sameCode(host.quickid, vendor.quickid));
        double cost = *vendor.cost, price = *vendor.retailPrice;
        switch (m.hostCase) {
        case HostCase::CostUp:
            EXPECT_LT(*host.cost, cost);
            EXPECT_EQ(*host.retailPrice, price);
            break;
        case HostCase::PriceUp:
            EXPECT_EQ(*host.cost, cost);
            EXPECT_LT(*host.retailPrice, price);
            break;
        case HostCase::BothUp:
            EXPECT_LT(*host.cost, cost);
            EXPECT_LT(*host.retailPrice, price);
            break;
        case HostCase::CostDown:
            EXPECT_GT(*host.cost, cost);
            EXPECT_EQ(*host.retailPrice, price);
            break;
        case HostCase::PriceDown:
            EXPECT_EQ(*host.cost, cost);
            EXPECT_GT(*host.retailPrice, price);
            break;
        case HostCase::Equal:
            EXPECT_EQ(*host.cost, cost);
            EXPECT_EQ(*host.retailPrice, price);
            break;
        case HostCase::EmptyValues:
            EXPECT_FALSE(host.cost.has_value());
            EXPECT_FALSE(host.retailPrice.has_value());
            break;
        case HostCase::CostDownPriceUp:
            EXPECT_GT(*host.cost, cost);
            EXPECT_LT(*host.retailPrice, price);
            break;
        case HostCase::DeletedTwin:
            ASSERT_EQ(m.products.size(), 2u);
            EXPECT_TRUE(m.products[0].deleted);
            EXPECT_LT(*m.products[0].cost, cost);
            EXPECT_FALSE(m.products[1].deleted);
            EXPECT_EQ(*m.products[1].cost, cost);
            EXPECT_EQ(m.products[1].quickid, m.products[0].quickid);
            break;
        case HostCase::OtherLetterCase:
            EXPECT_NE(host.quickid, vendor.quickid);
            EXPECT_LT(*host.cost, cost);
            break;
        case HostCase::Absent:
            break;
        }
        if (m.hostCase != HostCase::DeletedTwin) {
            EXPECT_EQ(m.products.size(), 1u);
        }
    }
    EXPECT_EQ(seen.size(), 11u);
}

TEST(SampleHostTest, WritesTheAskedNumberOfProductsTheSameForTheSameSeed)
{
    TempDir dir;
    SampleHostOptions options;
    options.products = 2000;
    options.seed = 7;
    options.vendorPrices = PriceListCsv::readFile(kSample).entries;
    ASSERT_FALSE(options.vendorPrices.empty());

    Result<std::int64_t> first = SampleHost::write(dir.file("a.mdb"), options, false);
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_EQ(*first, 2000);
    ASSERT_TRUE(SampleHost::write(dir.file("b.mdb"), options, false).ok());
    options.seed = 8;
    ASSERT_TRUE(SampleHost::write(dir.file("c.mdb"), options, false).ok());
    EXPECT_TRUE(openHostDatabase(dir.file("a.mdb")).ok());
    EXPECT_EQ(integrityCheck(dir.file("a.mdb")), "ok");

    std::vector<HostRow> a = readHostProducts(dir.file("a.mdb"));
    std::vector<HostRow> b = readHostProducts(dir.file("b.mdb"));
    std::vector<HostRow> c = readHostProducts(dir.file("c.mdb"));
    ASSERT_EQ(a.size(), 2000u);
    auto key = [](const HostRow& r) { return std::tuple(r.quickid, r.name, r.cost, r.price, r.deleted); };
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), [&](auto& x, auto& y) { return key(x) == key(y); }));
    EXPECT_FALSE(std::equal(a.begin(), a.end(), c.begin(), [&](auto& x, auto& y) { return key(x) == key(y); }));

    // Plausible products: named, priced above cost, a few with gaps, and no
    // generated code that takes one of the vendor's.
    std::set<std::string> vendorCodes;
    for (const PriceListEntry& e : options.vendorPrices)
        vendorCodes.insert(e.quickid);
    int gaps = 0, deleted = 0, generated = 0;
    for (const HostRow& row : a) {
        ASSERT_TRUE(row.quickid.has_value());
        EXPECT_FALSE(row.name.empty());
        if (row.cost && row.price) {
            EXPECT_GT(*row.price, *row.cost) << *row.quickid;
        }
        if (row.quickid->starts_with("LP-") || row.quickid->starts_with("lp-"))
            continue;
        ++generated;
        gaps += !row.cost || !row.price;
        deleted += row.deleted != 0;
    }
    EXPECT_GT(generated, 1900);
    EXPECT_GT(gaps, 0);
    EXPECT_GT(deleted, 0);
    EXPECT_LT(gaps + deleted, generated / 5);

    // Asked for fewer products than the vendor matches need: all matches still go in.
    options.products = 3;
    Result<std::int64_t> small = SampleHost::write(dir.file("d.mdb"), options, false);
    ASSERT_TRUE(small.ok());
    EXPECT_GT(*small, 30);
}

TEST(SampleHostTest, TheSampleListShowsEveryKindOfChangeInTheReview)
{
    TempDir dir;
    PriceList list = PriceListCsv::readFile(kSample);
    ASSERT_TRUE(list.ok()) << ::testing::PrintToString(list.errors);
    EXPECT_GE(list.entries.size(), 35u);
    EXPECT_FALSE(list.warnings.empty()); // the sample repeats some codes on purpose
    ASSERT_TRUE(PriceListWriter::write(dir.file("invupdate.mdb"), "Lumen Professional", list.entries, false).ok());
    SampleHostOptions options;
    options.vendorPrices = list.entries;
    ASSERT_TRUE(SampleHost::write(dir.file("kv.mdb"), options, false).ok());

    Result<Database> update = openUpdateDatabase(dir.file("invupdate.mdb"));
    Result<Database> host = openHostDatabase(dir.file("kv.mdb"));
    ASSERT_TRUE(update.ok()) << update.error();
    ASSERT_TRUE(host.ok()) << host.error();
    ScriptedPrompter prompter;
    Result<ChangeList> changes = buildChangeList(*update, *host, prompter);
    ASSERT_TRUE(changes.ok()) << changes.error();
    EXPECT_TRUE(changes->unreadable.empty());

    std::map<std::string, int> labels;
    bool costDown = false, emptyHost = false, emptyVendorValue = false;
    std::set<std::string> listedCodes;
    for (const ProposedChange& row : changes->rows) {
        ++labels[labelText(row.change)];
        costDown = costDown || (row.newCost && *row.newCost < row.currentCost);
        emptyHost = emptyHost || (row.currentCost == 0 && row.currentPrice == 0);
        emptyVendorValue = emptyVendorValue || !row.newCost || !row.newPrice;
        std::string code = row.quickid;
        std::transform(code.begin(), code.end(), code.begin(), ::toupper);
        listedCodes.insert(code);
    }
    EXPECT_GT(labels[" Cost Change"], 0);
    EXPECT_GT(labels[" Cost Change and Price Change"], 0);
    EXPECT_GT(labels[" Price Change"], 0);
    EXPECT_TRUE(costDown);
    EXPECT_TRUE(emptyHost);
    EXPECT_TRUE(emptyVendorValue);

    // Which codes were left out, matched but unchanged, or deleted.
    std::vector<VendorMatch> matches = SampleHost::matchVendorPrices(list.entries, options.seed);
    int absent = 0, unchanged = 0, twins = 0, otherCase = 0;
    for (const VendorMatch& m : matches) {
        std::string code = m.quickid;
        std::transform(code.begin(), code.end(), code.begin(), ::toupper);
        bool allDeleted = std::none_of(list.entries.begin(), list.entries.end(), [&](const PriceListEntry& e) {
            return sameCode(e.quickid, m.quickid) && !e.deleted;
        });
        if (m.hostCase == HostCase::Absent || allDeleted) {
            EXPECT_FALSE(listedCodes.count(code)) << code;
        }
        absent += m.hostCase == HostCase::Absent;
        unchanged += (m.hostCase == HostCase::Equal || m.hostCase == HostCase::PriceDown) && !listedCodes.count(code);
        if (m.hostCase == HostCase::DeletedTwin && !allDeleted && listedCodes.count(code))
            ++twins; // listed against the deleted product, which comes first
        otherCase += m.hostCase == HostCase::OtherLetterCase && listedCodes.count(code);
    }
    EXPECT_GT(absent, 0);
    EXPECT_GT(unchanged, 0);
    EXPECT_GT(twins, 0);
    EXPECT_GT(otherCase, 0);
    EXPECT_LT(absent, static_cast<int>(matches.size()) / 4);
    // Deleted vendor rows never show.
    for (const PriceListEntry& e : list.entries) {
        if (!e.deleted)
            continue;
        for (const ProposedChange& row : changes->rows) {
            EXPECT_NE(row.name, e.name);
        }
    }
}

TEST(SampleHostTest, TheProgramRunsAsTheDemoScriptCallsIt)
{
    TempDir dir;
    std::string out = dir.file("data/kv.mdb");
    std::filesystem::create_directories(dir.file("data"));
    std::vector<std::string> args = {
        builtProgram("tarvex-samplehost"), "--force", "-o", out, "--products", "300", "--vendor-prices", kSample};
    ProcessResult made = runProcess(args);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_TRUE(openHostDatabase(out).ok());
    EXPECT_EQ(readHostProducts(out).size(), 300u);

    // Again without --force: the file is kept.
    args.erase(args.begin() + 1);
    ProcessResult kept = runProcess(args);
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_THAT(kept.err, HasSubstr("already exists"));

    std::string bad = dir.write("bad.csv", "code,name,cost,price\nA,x,-1,2\n");
    ProcessResult refused =
        runProcess({builtProgram("tarvex-samplehost"), "-o", dir.file("other.mdb"), "--vendor-prices", bad});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr(bad + ", line 2: cost \"-1\" is negative"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.mdb")));

    for (const char* products : {"-1", "lots", "1e6", ""}) {
        ProcessResult wrong =
            runProcess({builtProgram("tarvex-samplehost"), "-o", dir.file("x.mdb"), "--products", products});
        EXPECT_EQ(wrong.exitCode, 2) << products;
    }
    EXPECT_EQ(runProcess({builtProgram("tarvex-samplehost")}).exitCode, 2);
    EXPECT_EQ(runProcess({builtProgram("tarvex-samplehost"), "--help"}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.mdb")));
}

TEST(SampleHostTest, AnInterruptedRunLeavesNothingBehind)
{
    TempDir dir;
    std::string program = builtProgram("tarvex-samplehost");
    std::string out = dir.file("kv.mdb");
    std::vector<std::string> args = {program, "-o", out, "--products", "50000000"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);

    // Wait for the temporary file to appear, then interrupt the run.
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i) {
        started = !std::filesystem::is_empty(dir.path());
        if (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(started);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

} // namespace
