// tarvex-bench: measures the price change review at the sizes chains and
// distributors send (vendor lists of up to 100,000 products against host
// tables of up to a million), each figure beside the floor that SQLite or
// the system sets on the same files, and prints a Markdown table.
//
//   tarvex-bench [--quick] [--keep] [--folder DIR] [--access DIR]
//                [--only list|apply|backup|window|access|access-apply] [--salon-host FILE]
//   tarvex-bench --access-host FILE
//
// --quick divides every size by ten, for trying the benchmark out; --keep
// leaves the generated files in their new folder under $TMPDIR or /tmp;
// --folder makes them in a folder of one's own instead, where they stay and
// are used again by the next run; --only runs one measurement (access-apply:
// only the apply rows of the Access host, without making the generated
// files). The list build and the apply over genuine Access files read
// invupdate-large-2000.mdb and kv-large-2000.mdb from --access DIR, else
// $TARVEX_ACCESS_FILES, else ../shared/jet/fixtures, and are skipped when
// they are not there; the apply of 10,000 rows into that host reads a price
// list made from the host's own products.
// The files take about 400 MB while the run lasts. --access-host times only
// the in-place writer on copies of a genuine Access host (product table with
// Double cost and retailprice, primary key PrimaryKey), such as the 200,000
// products of kv-large-2000.mdb. --salon-host (or $TARVEX_SALON_HOST) names a
// salon-sized Access host (one grown by ../shared/jet/tools/BigHost.java):
// the access step then adds the peak memory and bytes read of its open and
// list build against invupdate-large-2000.mdb, beside mdb-export of its
// product table.
#include "AccessListBench.h"
#include "AccessWriteBench.h"
#include "ApplyBench.h"
#include "BackupBench.h"
#include "BenchData.h"
#include "ListBuildBench.h"
#include "QuietPrompter.h"
#include "ResultTable.h"
#include "SalonHostBench.h"
#include "Stopwatch.h"
#include "WindowBench.h"

#include "platform/Database.h"
#include "platform/text/TextHelpers.h"
#include "review/ChangeList.h"

#include <sqlite3.h>

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <unistd.h>

namespace {

using namespace tarvex;
using namespace tarvex::bench;
namespace fs = std::filesystem;

// "1k", "100k", "1M" and the like.
std::string sizeName(std::size_t n)
{
    if (n >= 1000000 && n % 1000000 == 0)
        return std::to_string(n / 1000000) + "M";
    if (n >= 1000 && n % 1000 == 0)
        return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

// A number with thousands separators, for counts in the notes.
std::string grouped(std::int64_t n)
{
    // Built by appending: GCC 12 takes an insert into the string for an
    // overlapping copy and warns.
    const std::string digits = std::to_string(n);
    const std::size_t sign = n < 0 ? 1 : 0;
    std::string text = digits.substr(0, sign);
    for (std::size_t i = sign; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string firstLine(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) {
            return std::string(trimmedStart(std::string_view(line).substr(line.find(':') + 1)));
        }
    return "?";
}

std::string loadAverage()
{
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3)
        return "?";
    return ResultTable::fixed(load[0], 2) + " " + ResultTable::fixed(load[1], 2) + " " + ResultTable::fixed(load[2], 2);
}

void say(const std::string& text)
{
    std::cerr << "tarvex-bench: " << text << std::endl;
}

// The folder the benchmark made for its files (not one the user chose), to
// remove when the run stops on a failure.
std::string g_madeFolder;

[[noreturn]] void fail(const std::string& text)
{
    std::cerr << "tarvex-bench: " << text << std::endl;
    if (!g_madeFolder.empty()) {
        std::error_code ignored;
        fs::remove_all(g_madeFolder, ignored);
    }
    std::exit(1);
}

struct Options {
    bool quick = false;
    bool keep = false;
    std::string folder;
    std::string only;
    std::string accessHost;
    std::string access;
    std::string salonHost;

    bool runs(const char* step) const { return only.empty() || only == step; }
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick")
            options.quick = true;
        else if (arg == "--keep")
            options.keep = true;
        else if (arg == "--folder" && i + 1 < argc)
            options.folder = argv[++i];
        else if (arg == "--only" && i + 1 < argc)
            options.only = argv[++i];
        else if (arg == "--access" && i + 1 < argc)
            options.access = argv[++i];
        else if (arg == "--access-host" && i + 1 < argc)
            options.accessHost = argv[++i];
        else if (arg == "--salon-host" && i + 1 < argc)
            options.salonHost = argv[++i];
        else {
            std::cerr << "Usage: tarvex-bench [--quick] [--keep] [--folder DIR] [--access DIR] "
                         "[--only list|apply|backup|window|access|access-apply] [--salon-host FILE]\n"
                         "       tarvex-bench --access-host FILE\n";
            std::exit(2);
        }
    }
    return options;
}

// Times the Access writer on 1,000 products of host and prints its line.
int measureAccessWrites(const std::string& host)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvex-bench-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail(pattern + ": cannot make a folder for the copies: " + std::strerror(errno));
    g_madeFolder = pattern;
    say("Access writes into copies of " + host);
    Result<AccessWriteFigures> f = AccessWriteBench::measure(host, pattern, 1000);
    if (!f)
        fail(f.error());
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    ResultTable table;
    double ratio = f->writerSeconds / f->floorSeconds;
    table.add("Access writes, each product flushed", sizeName(f->products) + " products",
              ResultTable::fixed(static_cast<double>(f->products) / f->writerSeconds, 0) + " products/s (" +
                  ResultTable::fixed(f->writerSeconds, 2) + " s)",
              ResultTable::fixed(static_cast<double>(f->products) / f->floorSeconds, 0) +
                  " writes/s pwrite + fdatasync",
              ResultTable::fixed(ratio, 2) + "× time", "≤ 1.2×", ratio <= 1.2 && f->failed == 0 && f->differences == 0);
    std::cout << table.text() << "\n- Processor time per product "
              << ResultTable::fixed(f->writerCpuSeconds * 1e3 / static_cast<double>(f->products), 3) << " ms against "
              << ResultTable::fixed(f->floorCpuSeconds * 1e3 / static_cast<double>(f->products), 3) << " ms; "
              << f->failed << " failed; " << f->differences << " bytes differ between the two copies afterwards.\n";
    return 0;
}

// The folder of the genuine Access files: --access DIR, else
// $TARVEX_ACCESS_FILES, else the shared fixtures.
std::string accessFilesFolder(const Options& options)
{
    if (!options.access.empty())
        return options.access;
    const char* given = std::getenv("TARVEX_ACCESS_FILES");
    return given && *given ? given : "../shared/jet/fixtures";
}

// An apply measure taken several times, the order of its sides turned
// round from one measure to the next. A measure is one run of each side; at
// 1,000 rows a fraction of a second, so that one spell of slow flushing on
// a shared disk moves its ratio by a half. Its figures are those of the
// measure whose ratio (with the record, to the floor) is the median (of an
// even count, the higher of the middle two), beside the range of every
// measure's ratio.
struct RepeatedApply {
    ApplyFigures median;
    double lowest = 0;
    double highest = 0;
    std::size_t measures = 1;
};

double recordRatio(const ApplyFigures& f)
{
    return f.recordSeconds / f.floorSeconds;
}

template <typename Measure> RepeatedApply repeatedApply(std::size_t measures, Measure measure)
{
    std::vector<ApplyFigures> taken;
    for (std::size_t i = 0; i < measures; ++i) {
        Result<ApplyFigures> f = measure(i);
        if (!f)
            fail(f.error());
        taken.push_back(*f);
    }
    std::sort(taken.begin(), taken.end(),
              [](const ApplyFigures& a, const ApplyFigures& b) { return recordRatio(a) < recordRatio(b); });
    return {taken[taken.size() / 2], recordRatio(taken.front()), recordRatio(taken.back()), taken.size()};
}

// The measures of an apply: five of 1,000 rows or fewer, three of a larger
// apply, whose sides each take a few seconds. An Access host's apply takes
// a tenth of an SQLite host's, and its ratio moves with the disk from one
// measure to the next by a third: nine and six measures, a multiple of
// three so that each side goes first as often as the others.
std::size_t measuresOf(std::size_t rows, bool access = false)
{
    if (access)
        return rows <= 1000 ? 9 : 6;
    return rows <= 1000 ? 5 : 3;
}

// The rows of one apply measure: with the run record (against its target)
// and without it, each beside the floor, and a note of the counts.
void addApplyRows(ResultTable& table, std::vector<std::string>& notes, const std::string& host, const std::string& size,
                  const RepeatedApply& taken, const std::string& floorName, double target)
{
    const ApplyFigures& f = taken.median;
    const double rows = static_cast<double>(f.rows);
    const std::string floor = ResultTable::fixed(rows / f.floorSeconds, 0) + " records/s " + floorName + " (" +
                              ResultTable::fixed(f.floorSeconds, 2) + " s)";
    const double ratio = recordRatio(f);
    const std::string range = taken.measures < 2 ? std::string()
                                                 : " (median of " + std::to_string(taken.measures) + ": " +
                                                       ResultTable::fixed(taken.lowest, 2) + "-" +
                                                       ResultTable::fixed(taken.highest, 2) + "×)";
    table.add("Apply with its run record, " + host, size,
              ResultTable::fixed(rows / f.recordSeconds, 0) + " records/s (" + ResultTable::fixed(f.recordSeconds, 2) +
                  " s)",
              floor, ResultTable::fixed(ratio, 2) + "× time" + range, "≤ " + ResultTable::fixed(target, 2) + "×",
              ratio <= target && f.differences == 0 && f.failed == 0);
    table.add("Apply without the record, " + host, size,
              ResultTable::fixed(rows / f.applySeconds, 0) + " records/s (" + ResultTable::fixed(f.applySeconds, 2) +
                  " s)",
              floor, ResultTable::fixed(f.applySeconds / f.floorSeconds, 2) + "× time");
    notes.push_back("Apply " + size + ", " + host + ": " + grouped(static_cast<std::int64_t>(f.updated)) +
                    " updated, " + grouped(static_cast<std::int64_t>(f.failed)) + " failed" +
                    (f.saves ? ", " + grouped(f.saves) + " host saves without the record" : "") +
                    (f.floorWrites ? ", " + grouped(f.floorWrites) + " writes of the floor" : "") +
                    "; time above the floor per record " +
                    ResultTable::fixed((f.recordSeconds - f.floorSeconds) * 1e6 / rows, 0) + " µs with the record, " +
                    ResultTable::fixed((f.applySeconds - f.floorSeconds) * 1e6 / rows, 0) + " µs without" +
                    "; processor time per record " + ResultTable::fixed(f.recordCpuSeconds * 1e3 / rows, 3) +
                    " ms with the record, " + ResultTable::fixed(f.applyCpuSeconds * 1e3 / rows, 3) + " ms without, " +
                    ResultTable::fixed(f.floorCpuSeconds * 1e3 / rows, 3) + " ms for the floor" +
                    (f.journal.empty() ? "" : "; " + f.journal) + "; " +
                    (f.differences == 0 ? "every copy holds the same values afterwards"
                                        : grouped(f.differences) + " differences between the copies") +
                    ".");
}

// The apply rows of the genuine Access host kv-large-2000.mdb: 1,000 rows
// and every row (4,938) of its genuine price list, then 10,000 rows of a
// price list made from the host's own products (the genuine list holds only
// 5,048 of its codes), each beside its floor. Copies go in folder; the
// made price list is written there too.
void accessApplyRows(const Options& options, const std::string& folder, ResultTable& table,
                     std::vector<std::string>& notes)
{
    const std::string accessFolder = accessFilesFolder(options);
    const std::string accessVendor = accessFolder + "/invupdate-large-2000.mdb";
    const std::string accessHost = accessFolder + "/kv-large-2000.mdb";
    const std::size_t scale = options.quick ? 10 : 1;
    QuietPrompter prompter;
    auto listOf = [&](const std::string& vendorPath) {
        Result<Database> u = Database::open(vendorPath);
        Result<Database> h = Database::open(accessHost);
        return u && h ? buildChangeList(*u, *h, prompter) : Result<ChangeList>::failure(u ? h.error() : u.error());
    };
    auto measureRows = [&](const std::string& vendorPath, const ChangeList& list, std::size_t rows,
                           const std::string& of) {
        say("apply " + sizeName(rows) + " rows into an Access host");
        RepeatedApply f = repeatedApply(measuresOf(rows, true), [&](std::size_t k) {
            return ApplyBench::measureAccess(vendorPath, accessHost, folder, list, rows, k);
        });
        addApplyRows(table, notes, "Access host", grouped(static_cast<std::int64_t>(f.median.rows)) + " rows of " + of,
                     f, "pwrite + fdatasync", 1.3);
    };
    Result<ChangeList> accessList = listOf(accessVendor);
    if (!accessList) {
        say("apply into an Access host skipped: " + accessList.error());
        notes.push_back("Apply into an Access host: skipped (" + accessList.error() + ").");
        return;
    }
    for (std::size_t rows : {1000 / scale, 10000 / scale})
        measureRows(accessVendor, *accessList, rows, "200,015");
    // The made price list is an SQLite file: the apply reads it and writes
    // the genuine Access host, whose saves are what is measured.
    const std::size_t made = 10000 / scale;
    const std::string madeVendor = folder + "/invupdate-from-kv-large.mdb";
    Result<std::vector<PriceListEntry>> entries = BenchData::hostPriceList(accessHost, made);
    Status written = entries ? BenchData::writeVendor(madeVendor, *entries) : entries.status();
    Result<ChangeList> madeList = written ? listOf(madeVendor) : Result<ChangeList>::failure(written.error());
    if (!madeList || madeList->rows.size() < made) {
        std::string why =
            madeList ? "the list has " + std::to_string(madeList->rows.size()) + " rows" : madeList.error();
        say("apply of " + sizeName(made) + " rows into an Access host skipped: " + why);
        notes.push_back("Apply of " + sizeName(made) + " rows into an Access host: skipped (" + why + ").");
        return;
    }
    measureRows(madeVendor, *madeList, made, "200,015, made list");
    notes.push_back("The Access host's " + grouped(static_cast<std::int64_t>(made)) +
                    "-row apply reads a price list made from the host's own products (an SQLite file: each "
                    "product's cost 1.25 and price 2.50 above the host's, spread through its table).");
}

// The apply rows of the Access host alone (--only access-apply): the
// same measure as the apply step's, without the generated SQLite files.
int measureAccessApply(const Options& options)
{
    const std::string startLoad = loadAverage();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvex-bench-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail(pattern + ": cannot make a folder for the copies: " + std::strerror(errno));
    g_madeFolder = pattern;
    ResultTable table;
    std::vector<std::string> notes;
    accessApplyRows(options, pattern, table, notes);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    std::cout << "- Load average (1, 5, 15 min): " << startLoad << " at the start, " << loadAverage()
              << " at the end\n\n"
              << table.text() << "\n";
    for (const std::string& note : notes)
        std::cout << "- " << note << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--window-step")
        return WindowBench::runStep(argc, argv, argv[2], argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--salon-step")
        return SalonHostBench::runStep(argv[2], argv[3]);
    Options options = parse(argc, argv);
    if (!options.accessHost.empty())
        return measureAccessWrites(options.accessHost);
    if (options.only == "access-apply")
        return measureAccessApply(options);
    const std::size_t scale = options.quick ? 10 : 1;
    const std::string startLoad = loadAverage();
    Stopwatch total;

    std::string folder = options.folder;
    // Files from an earlier run with --keep in a chosen folder are used again.
    const bool reuse = !folder.empty();
    auto needed = [&](const std::string& path) { return !reuse || !fs::exists(path); };
    if (folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp ? tmp : "/tmp";
        std::string pattern = base + "/tarvex-bench-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            fail(base + ": cannot make a folder for the files there: " + std::strerror(errno));
        folder = pattern;
        if (!options.keep)
            g_madeFolder = folder;
    } else {
        fs::create_directories(folder);
    }

    // One vendor list; the shorter lists are its first products, and every
    // host is made for the codes of one of them, so each host also holds 80%
    // of the codes of every shorter list.
    const std::vector<std::size_t> vendorSizes = {1000 / scale, 10000 / scale, 100000 / scale};
    const std::vector<std::size_t> hostSizes = {10000 / scale, 100000 / scale, 1000000 / scale};
    say("making the files in " + folder);
    std::vector<PriceListEntry> vendor = BenchData::vendorProducts(vendorSizes.back(), 20261207);
    std::vector<std::string> vendorPaths;
    std::vector<std::string> hostPaths;
    for (std::size_t i = 0; i < vendorSizes.size(); ++i) {
        std::vector<PriceListEntry> list(vendor.begin(), vendor.begin() + static_cast<std::ptrdiff_t>(vendorSizes[i]));
        vendorPaths.push_back(folder + "/invupdate-" + sizeName(vendorSizes[i]) + ".mdb");
        if (Status s =
                needed(vendorPaths.back()) ? BenchData::writeVendor(vendorPaths.back(), list) : Status::success();
            !s)
            fail(s.error());
        hostPaths.push_back(folder + "/kv-" + sizeName(hostSizes[i]) + ".mdb");
        if (needed(hostPaths.back())) {
            Result<std::int64_t> written = BenchData::writeHost(hostPaths.back(), BenchData::hostShare(list, 0.8),
                                                                static_cast<std::int64_t>(hostSizes[i]), 7);
            if (!written)
                fail(written.error());
        }
    }
    // The window's list: every code handed to the host maker, which lists
    // eight cases in eleven, so 137,500 products give 100,000 rows.
    const std::size_t windowRows = 100000 / scale;
    std::vector<PriceListEntry> windowVendor = BenchData::vendorProducts(windowRows / 8 * 11, 99);
    const std::string windowVendorPath = folder + "/invupdate-window.mdb";
    const std::string windowHostPath = folder + "/kv-window.mdb";
    if (needed(windowVendorPath))
        if (Status s = BenchData::writeVendor(windowVendorPath, windowVendor); !s)
            fail(s.error());
    if (needed(windowHostPath))
        if (Result<std::int64_t> w =
                BenchData::writeHost(windowHostPath, windowVendor, static_cast<std::int64_t>(windowRows * 2), 11);
            !w)
            fail(w.error());
    // The new files go out to disk now, so that their write-back does not
    // run alongside the first measurements.
    ::sync();
    const double makeSeconds = total.seconds();

    ResultTable table;
    std::vector<std::string> notes;

    // The list build, for every vendor list against every host that holds
    // its codes: the diagonal is the three size pairs, the rest shows how
    // the cost follows each size alone.
    std::map<std::pair<std::size_t, std::size_t>, double> perProduct;
    std::map<std::pair<std::size_t, std::size_t>, double> floorPerProduct;
    std::vector<std::string> lookupPlan;
    std::vector<std::string> floorPlan;
    int bigProgresses = 0;
    for (std::size_t v = 0; v < vendorSizes.size() && options.runs("list"); ++v) {
        for (std::size_t h = v; h < hostSizes.size(); ++h) {
            std::string size = sizeName(vendorSizes[v]) + " / " + sizeName(hostSizes[h]);
            say("list build " + size);
            // Short builds are repeated more often: they are the ones a moment's
            // noise can spoil.
            Result<ListBuildFigures> f =
                ListBuildBench::measure(vendorPaths[v], hostPaths[h], v + 1 == vendorSizes.size() ? 5 : 9);
            if (!f)
                fail(f.error());
            double us = f->buildSeconds * 1e6 / static_cast<double>(vendorSizes[v]);
            perProduct[{v, h}] = us;
            floorPerProduct[{v, h}] = f->floorSeconds * 1e6 / static_cast<double>(vendorSizes[v]);
            double ratio = f->buildSeconds / f->floorSeconds;
            std::string tarvex = ResultTable::fixed(f->buildSeconds, 3) + " s (" + ResultTable::fixed(us, 2) +
                                 " µs/product, " + grouped(static_cast<std::int64_t>(f->rows)) + " rows)";
            std::string floor = ResultTable::fixed(f->floorSeconds, 3) + " s join" +
                                (f->sameRows ? "" : " (rows differ: " + grouped(f->floorRows) + ")");
            if (v + 1 == vendorSizes.size() && h + 1 == hostSizes.size()) {
                table.add("List build", size, tarvex, floor, ResultTable::fixed(ratio, 2) + "× time", "≤ 1.5×",
                          ratio <= 1.5 && f->sameRows);
                bigProgresses = f->progresses;
            } else {
                table.add("List build", size, tarvex, floor, ResultTable::fixed(ratio, 2) + "× time");
            }
            if (!f->sameRows)
                notes.push_back("List build " + size + ": the join gave other rows than the build (" +
                                grouped(f->floorRows) + " against " + grouped(f->rows) + ").");
            if (f->unreadable)
                notes.push_back("List build " + size + ": " + grouped(f->unreadable) + " products unreadable.");
            lookupPlan = f->lookupPlan;
            floorPlan = f->floorPlan;
        }
    }

    // Linear in vendor products: the time per product stays the same from
    // 10k to 100k against the largest host (below that a fixed cost of a
    // few milliseconds, opening the tables, weighs in). Flat in host rows:
    // the time per product of the 1k list barely moves from the smallest
    // host to the largest.
    const std::size_t last = hostSizes.size() - 1;
    if (options.runs("list")) {
        double vendorSpread = perProduct[{vendorSizes.size() - 1, last}] / perProduct[{vendorSizes.size() - 2, last}];
        double hostSpread = perProduct[{0, last}] / perProduct[{0, 0}];
        double floorVendorSpread =
            floorPerProduct[{vendorSizes.size() - 1, last}] / floorPerProduct[{vendorSizes.size() - 2, last}];
        double floorHostSpread = floorPerProduct[{0, last}] / floorPerProduct[{0, 0}];
        table.add("Growth in vendor products",
                  sizeName(vendorSizes[vendorSizes.size() - 2]) + "→" + sizeName(vendorSizes.back()) + " / " +
                      sizeName(hostSizes.back()),
                  "per-product time ×" + ResultTable::fixed(vendorSpread, 2),
                  "join per product ×" + ResultTable::fixed(floorVendorSpread, 2), "", "×0.67–1.5 (linear)",
                  vendorSpread >= 0.67 && vendorSpread <= 1.5);
        table.add(
            "Growth in host rows",
            sizeName(vendorSizes.front()) + " / " + sizeName(hostSizes.front()) + "→" + sizeName(hostSizes.back()),
            "per-product time ×" + ResultTable::fixed(hostSpread, 2),
            "join per product ×" + ResultTable::fixed(floorHostSpread, 2), "", "≤ ×2 for 100× rows", hostSpread <= 2.0);
    }

    // The apply, on the list of the largest pair.
    if (options.runs("apply")) {
        Result<Database> update = Database::open(vendorPaths.back());
        Result<Database> host = Database::open(hostPaths.back());
        if (!update || !host)
            fail(!update ? update.error() : host.error());
        QuietPrompter prompter;
        Result<ChangeList> list = buildChangeList(*update, *host, prompter);
        if (!list)
            fail(list.error());
        for (std::size_t rows : {1000 / scale, 10000 / scale}) {
            say("apply " + sizeName(rows) + " rows");
            RepeatedApply f = repeatedApply(measuresOf(rows), [&](std::size_t k) {
                return ApplyBench::measure(vendorPaths.back(), hostPaths.back(), folder, *list, rows, k);
            });
            addApplyRows(table, notes, "SQLite host",
                         sizeName(f.median.rows) + " rows of " + sizeName(hostSizes.back()), f, "autocommit UPDATE",
                         1.15);
        }
        // The same on a genuine Access host, when the fixtures are at hand.
        accessApplyRows(options, folder, table, notes);
    }

    // The backup copy of the largest host.
    if (options.runs("backup")) {
        say("backup copy of " + hostPaths.back());
        Result<BackupFigures> f = BackupBench::measure(hostPaths.back(), 5);
        if (!f)
            fail(f.error());
        double mb = static_cast<double>(f->bytes) / 1e6;
        double speed = mb / f->backupSeconds;
        double cpSpeed = mb / f->cpSeconds;
        double cpSyncSpeed = mb / f->cpSyncSeconds;
        table.add("Backup copy", sizeName(hostSizes.back()) + "-row host, " + ResultTable::fixed(mb, 0) + " MB",
                  ResultTable::fixed(speed, 0) + " MB/s (" + ResultTable::fixed(f->backupSeconds, 3) + " s)",
                  ResultTable::fixed(cpSpeed, 0) + " MB/s cp", ResultTable::fixed(speed / cpSpeed, 2) + "× speed",
                  "≥ 0.8×", speed / cpSpeed >= 0.8);
        table.add("Backup copy", "same file", ResultTable::fixed(speed, 0) + " MB/s",
                  ResultTable::fixed(cpSyncSpeed, 0) + " MB/s cp + sync of the copy",
                  ResultTable::fixed(speed / cpSyncSpeed, 2) + "× speed");
    }

    // The review window, in a process of its own.
    if (options.runs("window")) {
        say("review window with " + grouped(static_cast<std::int64_t>(windowRows)) + " rows");
        WindowFigures f =
            WindowBench::measure(fs::read_symlink("/proc/self/exe").string(), windowVendorPath, windowHostPath);
        if (!f.ok)
            fail(f.error);
        std::string rows = grouped(f.rows) + " rows";
        table.add("Review window shown", rows, ResultTable::fixed(f.shownSeconds, 2) + " s from the hand-over", "", "",
                  "≤ 2 s", f.shownSeconds <= 2.0);
        double anonPerRow = static_cast<double>(f.anonShownKb - f.anonBeforeKb) * 1024.0 / static_cast<double>(f.rows);
        double rssPerRow = static_cast<double>(f.rssShownKb - f.rssBeforeKb) * 1024.0 / static_cast<double>(f.rows);
        table.add("Memory per listed row", rows,
                  ResultTable::fixed(anonPerRow, 0) + " B (RssAnon " + grouped(f.anonBeforeKb) + "→" +
                      grouped(f.anonShownKb) + " kB)",
                  "", "", "≤ 300 B", anonPerRow <= 300);
        double mappedPerRow =
            static_cast<double>(f.mappedShownKb - f.mappedBeforeKb) * 1024.0 / static_cast<double>(f.rows);
        table.add("Memory per listed row, all RSS", rows,
                  ResultTable::fixed(rssPerRow, 0) + " B (VmRSS " + grouped(f.rssBeforeKb) + "→" +
                      grouped(f.rssShownKb) + " kB, of which " + ResultTable::fixed(mappedPerRow, 0) +
                      " B/row the mapped database files)",
                  "", "");
        table.add("Scrolling", rows,
                  "median " + ResultTable::fixed(f.scrollMedianMs, 1) + " ms, worst " +
                      ResultTable::fixed(f.scrollWorstMs, 1) + " ms per repaint (" + std::to_string(f.scrollSteps) +
                      " steps, " + std::to_string(f.scrollSlow) + " over 16.7 ms)",
                  "", "", "worst ≤ 50 ms", f.scrollWorstMs <= 50.0);
        table.add("Filter and sort", rows,
                  "worst " + ResultTable::fixed(f.filterWorstMs, 1) + " ms a keystroke, " +
                      ResultTable::fixed(f.sortWorstMs, 1) + " ms a title click, to the repainted list",
                  "", "", "≤ 100 ms", f.filterWorstMs <= 100.0 && f.sortWorstMs <= 100.0);
    }

    // The list build over genuine Access files, when they are at hand: they
    // are made by Access's own format writers, not by this benchmark.
    if (options.runs("access")) {
        const std::string accessFolder = accessFilesFolder(options);
        const std::string vendorPath = accessFolder + "/invupdate-large-2000.mdb";
        const std::string hostPath = accessFolder + "/kv-large-2000.mdb";
        if (!fs::exists(vendorPath) || !fs::exists(hostPath)) {
            say("list build over Access files skipped: no " + vendorPath + " and " + hostPath);
            notes.push_back("List build over Access files: skipped (no " + vendorPath + " and " + hostPath +
                            "; give their folder with --access DIR or TARVEX_ACCESS_FILES).");
        } else {
            say("list build over Access files");
            // Fifteen turns: each side's build is a few hundredths of a second,
            // and on a shared machine either side is at times twice as slow
            // for a while; the best of fifteen is each side's own cost.
            Result<AccessListFigures> f = AccessListBench::measure(vendorPath, hostPath, folder, 15);
            if (!f)
                fail(f.error());
            std::string size = grouped(static_cast<std::int64_t>(f->vendorProducts)) + " / " +
                               grouped(static_cast<std::int64_t>(f->hostProducts));
            double ratio = f->accessSeconds / f->sqliteSeconds;
            table.add("List build, Access files", size,
                      ResultTable::fixed(f->accessSeconds, 3) + " s (" + grouped(static_cast<std::int64_t>(f->rows)) +
                          " rows)",
                      ResultTable::fixed(f->sqliteSeconds, 3) + " s the same rows in SQLite" +
                          (f->sameRows ? "" : " (rows differ)"),
                      ResultTable::fixed(ratio, 2) + "× time", "≤ 1.3×", ratio <= 1.3 && f->sameRows);
            table.add("Access host opened",
                      grouped(static_cast<std::int64_t>(f->hostProducts)) + " rows, " +
                          ResultTable::fixed(static_cast<double>(fs::file_size(hostPath)) / 1e6, 0) + " MB",
                      ResultTable::fixed(f->openSeconds, 3) + " s", "", "", "≤ 1 s", f->openSeconds <= 1.0);
        }
        std::string salonHost = options.salonHost;
        if (const char* given = std::getenv("TARVEX_SALON_HOST"); salonHost.empty() && given)
            salonHost = given;
        if (!salonHost.empty() && fs::exists(vendorPath)) {
            say("open and list build on the salon-sized host " + salonHost);
            Result<SalonFigures> f =
                SalonHostBench::measure(fs::read_symlink("/proc/self/exe").string(), vendorPath, salonHost);
            if (!f)
                fail(f.error());
            double mb = static_cast<double>(f->hostBytes) / 1e6;
            double peakMb = static_cast<double>(f->peakKb) / 1024.0;
            double floorMb = static_cast<double>(f->floorPeakKb) / 1024.0;
            std::string size = ResultTable::fixed(mb, 0) + " MB host";
            table.add("Salon host: open + list, peak memory", size,
                      ResultTable::fixed(peakMb, 1) + " MB (" + grouped(f->rows) + " rows, " +
                          ResultTable::fixed(f->seconds, 3) + " s)",
                      f->floorRan ? ResultTable::fixed(floorMb, 1) + " MB mdb-export of product" : "no mdb-export",
                      f->floorRan ? ResultTable::fixed(peakMb / floorMb, 1) + "×" : "", "≤ 64 MB + the table",
                      peakMb <= 64.0 + floorMb);
            table.add("Salon host: open + list, bytes read", size,
                      ResultTable::fixed(static_cast<double>(f->bytesRead) / 1e6, 1) + " MB (" +
                          ResultTable::fixed(static_cast<double>(f->bytesRead) / static_cast<double>(f->hostBytes), 3) +
                          "× the host)",
                      "", "", "≤ 1.1× the host",
                      static_cast<double>(f->bytesRead) <= 1.1 * static_cast<double>(f->hostBytes));
        }
    }

    if (!options.keep && !reuse) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    char date[64] = "?";
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M %Z", &local);
    std::cout << "- Finished: " << date << "\n- Machine: " << sysconf(_SC_NPROCESSORS_ONLN) << " cores (nproc), "
              << firstLine("/proc/cpuinfo", "model name") << ", " << firstLine("/proc/meminfo", "MemTotal")
              << " memory; SQLite " << sqlite3_libversion() << ", Qt " << qVersion();
#ifdef NDEBUG
    std::cout << ", optimised build";
#else
    std::cout << ", DEBUG BUILD (figures not representative)";
#endif
    std::cout << "\n- Load average (1, 5, 15 min): " << startLoad << " at the start, " << loadAverage()
              << " at the end\n"
              << "- Run time: " << ResultTable::fixed(total.seconds(), 0) << " s, of which "
              << ResultTable::fixed(makeSeconds, 0) << " s making the files\n\n"
              << table.text() << "\n";
    if (options.runs("list")) {
        std::cout << "- Host lookup of the list build (EXPLAIN QUERY PLAN):";
        for (const std::string& line : lookupPlan)
            std::cout << " " << line << ";";
        std::cout << "\n- Floor join (EXPLAIN QUERY PLAN):";
        for (const std::string& line : floorPlan)
            std::cout << " " << line << ";";
        std::cout << "\n- Progress shown during the " << sizeName(vendorSizes.back()) << " / "
                  << sizeName(hostSizes.back())
                  << " list build: " << (bigProgresses ? "yes" : "no (it took less than a second)") << "\n";
    }
    for (const std::string& note : notes)
        std::cout << "- " << note << "\n";
    return 0;
}
