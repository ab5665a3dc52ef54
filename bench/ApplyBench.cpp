// Timing applyChanges, with its run record and without, beside the host's
// floor: one autocommit UPDATE per row (SQLite), one pwrite and fdatasync per
// product (Access).
#include "ApplyBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "data/RunJournal.h"
#include "platform/Database.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "platform/sqlite/SqliteStatement.h"
#include "review/ChangeApplier.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>

namespace tarvex::bench {

namespace {

namespace fs = std::filesystem;

// The three sides of a measure in the order they go: the first turned by
// measure (0, 1, 2, ...), so that over three measures each goes first,
// second and last once, and a spell of slow flushing or the disk's own
// writeback does not fall on one side every time.
template <typename Side> Status inTurn(std::size_t measure, const std::array<Side, 3>& sides)
{
    for (std::size_t k = 0; k < sides.size(); ++k)
        if (Status s = sides[(measure + k) % sides.size()](); !s)
            return s;
    return Status::success();
}

using Statement = SqliteStatement;

Statement prepare(sqlite3* db, const char* sql)
{
    return prepareStatement(db, sql);
}

std::string pragmaText(sqlite3* db, const char* sql)
{
    Statement stmt = prepare(db, sql);
    if (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW)
        return reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
    return "?";
}

Status freshCopy(const std::string& from, const std::string& to)
{
    std::error_code error;
    fs::remove(to, error);
    if (!fs::copy_file(from, to, error))
        return Status::failure(to + ": cannot copy " + from + ": " + error.message());
    return Status::success();
}

// One host write of the floor: the record and the values it ends with.
struct Write {
    std::int64_t rowid = 0;
    double cost = 0;
    double price = 0;
};

// The writes the apply makes for rows, one for each row in the same order
// (rowid 0 where the host has no such product), found before the clock
// starts: the first host record of each code, the vendor's cost where it has
// one, and the greater of the two prices.
std::vector<Write> plannedWrites(sqlite3* db, const std::vector<const ProposedChange*>& rows)
{
    Statement find =
        prepare(db, "SELECT rowid, cost, retailprice FROM product WHERE quickid = ?1 ORDER BY quickid, rowid LIMIT 1");
    std::vector<Write> writes;
    for (const ProposedChange* row : rows) {
        sqlite3_reset(find.get());
        sqlite3_bind_text(find.get(), 1, row->quickid.c_str(), -1, SQLITE_TRANSIENT);
        Write write;
        if (sqlite3_step(find.get()) != SQLITE_ROW) {
            writes.push_back(write);
            continue;
        }
        write.rowid = sqlite3_column_int64(find.get(), 0);
        write.cost = row->newCost.value_or(sqlite3_column_double(find.get(), 1));
        write.price = std::max(row->newPrice.value_or(0.0), sqlite3_column_double(find.get(), 2));
        writes.push_back(write);
    }
    return writes;
}

// The first rows of list.
std::vector<const ProposedChange*> firstRows(const ChangeList& list, std::size_t rows)
{
    std::vector<const ProposedChange*> chosen;
    for (std::size_t i = 0; i < list.rows.size() && i < rows; ++i)
        chosen.push_back(&list.rows[i]);
    return chosen;
}

// One whole apply of chosen into the host file at hostPath, as a run makes
// it: with its run record beside the file (opened, reconciled and started
// by the apply itself) when recorded. Adds its time to seconds and cpu.
// listFirst builds the list from the two opened databases before the clock
// starts, as a run does before its apply: an Access host is then applied
// from the pages and the table walks the list build read, as in a run.
Result<ApplyReport> timedApply(const std::string& vendorPath, const std::string& hostPath,
                               const std::vector<const ProposedChange*>& chosen, bool recorded, double& seconds,
                               double& cpu, bool listFirst = false)
{
    using R = Result<ApplyReport>;
    Result<Database> update = Database::open(vendorPath);
    if (!update)
        return R::failure(update.error());
    Result<Database> host = Database::open(hostPath);
    if (!host)
        return R::failure(host.error());
    QuietPrompter prompter;
    // As in a run, the record is checked while the list is built and
    // reviewed: the check is over when the review ends in the apply.
    RunJournal journal(runInfoNow("Bench", vendorPath, hostPath + "_Tarvex_bench"));
    if (recorded)
        journal.checkAhead(hostPath);
    if (listFirst)
        if (Result<ChangeList> list = buildChangeList(*update, *host, prompter); !list)
            return R::failure(list.error());
    journal.settleAhead();
    Stopwatch clock;
    ApplyReport report = applyChanges(&*update, *host, chosen, prompter, recorded ? &journal : nullptr);
    seconds += clock.seconds();
    cpu += clock.cpuSeconds();
    return report;
}

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The products whose cost or price differ between the host file open in db
// and the one at other; -1 when they cannot be compared.
std::int64_t differingRecords(sqlite3* db, const std::string& other)
{
    sqlite3_stmt* attach = nullptr;
    sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS other", -1, &attach, nullptr);
    sqlite3_bind_text(attach, 1, other.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(attach);
    sqlite3_finalize(attach);
    Statement compare = prepare(db, "SELECT count(*) FROM main.product AS f JOIN other.product AS a "
                                    "ON a.rowid = f.rowid WHERE a.cost IS NOT f.cost "
                                    "OR a.retailprice IS NOT f.retailprice");
    return compare && sqlite3_step(compare.get()) == SQLITE_ROW ? sqlite3_column_int64(compare.get(), 0) : -1;
}

// Fresh copies of hostPath, on disk before any clock starts (so that no
// side's first flush writes a whole new file), without a run record beside.
// Whatever else is waiting to be written back (the files of earlier
// measures) is written too, so that the disk's own work falls on no side.
Status freshCopies(const std::string& hostPath, const std::vector<std::string>& copies)
{
    for (const std::string& copy : copies) {
        std::error_code ignored;
        fs::remove(copy + "_TarvexHistory", ignored);
        if (Status s = freshCopy(hostPath, copy); !s)
            return s;
    }
    ::sync();
    return Status::success();
}

void removeCopies(const std::vector<std::string>& copies)
{
    for (const std::string& copy : copies) {
        std::error_code ignored;
        fs::remove(copy, ignored);
        fs::remove(copy + "_TarvexHistory", ignored);
    }
}

// Gives the host copy at to the run record of the copy at from, which is
// then removed: every run but a host's first finds its record there,
// holding the runs before it.
Status giveRecord(const std::string& from, const std::string& to)
{
    std::error_code error;
    fs::rename(from + "_TarvexHistory", to + "_TarvexHistory", error);
    if (error)
        return Status::failure(to + "_TarvexHistory: cannot move the run record of " + from +
                               " there: " + error.message());
    removeCopies({from});
    return Status::success();
}

// A recorded apply of chosen into a fresh copy of hostPath at scratch, before
// any clock starts: the run before the measured one, whose record
// giveRecord() hands on.
Status earlierRun(const std::string& vendorPath, const std::string& hostPath, const std::string& scratch,
                  const std::vector<const ProposedChange*>& chosen, bool listFirst = false)
{
    if (Status s = freshCopies(hostPath, {scratch}); !s)
        return s;
    double unused = 0;
    return timedApply(vendorPath, scratch, chosen, true, unused, unused, listFirst).status();
}

// The apply as a run makes it, one whole apply with its record, into copy:
// its time and counts are added to figures.
Status recordedApply(const std::string& vendorPath, const std::string& copy,
                     const std::vector<const ProposedChange*>& chosen, ApplyFigures& figures, bool listFirst = false)
{
    Result<ApplyReport> report =
        timedApply(vendorPath, copy, chosen, true, figures.recordSeconds, figures.recordCpuSeconds, listFirst);
    if (!report)
        return report.status();
    figures.updated += report->updated;
    figures.failed += report->failed.size();
    return Status::success();
}

// Byte ranges [first, last] where changed differs from original, a gap of
// up to kJoinGap equal bytes joined: the bytes of one product's save.
constexpr std::size_t kJoinGap = 16;
std::vector<std::pair<std::size_t, std::size_t>> changedRanges(const std::string& original, const std::string& changed)
{
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t i = 0; i < std::min(original.size(), changed.size()); ++i) {
        if (original[i] == changed[i])
            continue;
        if (!ranges.empty() && i - ranges.back().second <= kJoinGap)
            ranges.back().second = i;
        else
            ranges.emplace_back(i, i);
    }
    return ranges;
}

} // namespace

Result<ApplyFigures> ApplyBench::measureAccess(const std::string& vendorPath, const std::string& hostPath,
                                               const std::string& folder, const ChangeList& list, std::size_t rows,
                                               std::size_t measure)
{
    using R = Result<ApplyFigures>;
    ApplyFigures figures;
    const std::vector<const ProposedChange*> chosen = firstRows(list, rows);
    figures.rows = chosen.size();
    const std::string recorded = folder + "/apply-access-record.mdb";
    const std::string bare = folder + "/apply-access-bare.mdb";
    const std::string floored = folder + "/apply-access-floor.mdb";
    // The bytes the apply changes, from an apply of the same rows to a copy
    // of its own before any clock starts: the floor writes them at the same
    // places, whichever side goes first. That apply's run record, holding
    // it, is the one the recorded side adds its run to.
    const std::string scratch = folder + "/apply-access-scratch.mdb";
    if (Status s = earlierRun(vendorPath, hostPath, scratch, chosen, true); !s)
        return R(s);
    const std::string changed = contentOf(scratch);
    const auto ranges = changedRanges(contentOf(hostPath), changed);
    if (Status s = freshCopies(hostPath, {recorded, bare, floored}); !s)
        return R(s);
    if (Status s = giveRecord(scratch, recorded); !s)
        return R(s);

    using Side = std::function<Status()>;
    Side withRecord = [&] { return recordedApply(vendorPath, recorded, chosen, figures, true); };
    Side withoutRecord = [&] {
        return timedApply(vendorPath, bare, chosen, false, figures.applySeconds, figures.applyCpuSeconds, true)
            .status();
    };
    Side floor = [&] {
        int fd = ::open(floored.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return Status::failure(floored + ": cannot open: " + std::strerror(errno));
        Stopwatch clock;
        for (const auto& [first, last] : ranges) {
            if (::pwrite(fd, changed.data() + first, last - first + 1, static_cast<off_t>(first)) < 0 ||
                ::fdatasync(fd) != 0) {
                int error = errno;
                ::close(fd);
                return Status::failure(floored + ": cannot write: " + std::strerror(error));
            }
        }
        figures.floorSeconds += clock.seconds();
        figures.floorCpuSeconds += clock.cpuSeconds();
        ::close(fd);
        return Status::success();
    };
    if (Status s = inTurn<Side>(measure, {withRecord, withoutRecord, floor}); !s)
        return R(s);
    figures.floorWrites = static_cast<std::int64_t>(ranges.size());
    for (const std::string& copy : {recorded, bare, floored}) {
        const std::string bytes = contentOf(copy);
        for (std::size_t i = 0; i < changed.size(); ++i)
            figures.differences += i >= bytes.size() || bytes[i] != changed[i];
    }
    removeCopies({recorded, bare, floored});
    return figures;
}

Result<ApplyFigures> ApplyBench::measure(const std::string& vendorPath, const std::string& hostPath,
                                         const std::string& folder, const ChangeList& list, std::size_t rows,
                                         std::size_t measure)
{
    using R = Result<ApplyFigures>;
    ApplyFigures figures;
    const std::vector<const ProposedChange*> chosen = firstRows(list, rows);
    figures.rows = chosen.size();

    const std::string recorded = folder + "/apply-record.db";
    const std::string applied = folder + "/apply-tarvex.db";
    const std::string floored = folder + "/apply-floor.db";
    // The recorded side adds its run to a record that holds one before it,
    // an apply of the same rows to a copy of its own.
    const std::string scratch = folder + "/apply-scratch.db";
    if (Status s = earlierRun(vendorPath, hostPath, scratch, chosen); !s)
        return R(s);
    if (Status s = freshCopies(hostPath, {recorded, applied, floored}); !s)
        return R(s);
    if (Status s = giveRecord(scratch, recorded); !s)
        return R(s);
    if (Status s = applyBoth(vendorPath, recorded, applied, floored, chosen, measure, figures); !s)
        return R(s);
    // The copy the recorded apply wrote holds what the others hold.
    Result<Database> check = Database::open(recorded);
    figures.differences += check ? differingRecords(sqliteHandle(*check), floored) : 1;
    removeCopies({recorded, applied, floored});
    return figures;
}

Status ApplyBench::applyBoth(const std::string& vendorPath, const std::string& recorded, const std::string& applied,
                             const std::string& floored, const std::vector<const ProposedChange*>& chosen,
                             std::size_t measure, ApplyFigures& figures)
{
    using R = Status;
    Result<Database> update = Database::open(vendorPath);
    if (!update)
        return R::failure(update.error());
    Result<Database> host = Database::open(applied);
    if (!host)
        return R::failure(host.error());
    Result<Database> floorHost = Database::open(floored);
    if (!floorHost)
        return R::failure(floorHost.error());
    figures.journal = "journal_mode=" + pragmaText(sqliteHandle(*host), "PRAGMA journal_mode") +
                      ", synchronous=" + pragmaText(sqliteHandle(*host), "PRAGMA synchronous");
    sqlite3* db = sqliteHandle(*floorHost);
    const std::vector<Write> writes = plannedWrites(db, chosen);
    Statement floorUpdate = prepare(db, "UPDATE product SET cost = ?1, retailprice = ?2 WHERE rowid = ?3");

    const int before = sqlite3_total_changes(sqliteHandle(*host));
    QuietPrompter prompter;
    using Side = std::function<Status()>;
    Side withRecord = [&] { return recordedApply(vendorPath, recorded, chosen, figures); };
    Side withoutRecord = [&] {
        Stopwatch clock;
        (void)applyChanges(*update, *host, chosen, prompter);
        figures.applySeconds += clock.seconds();
        figures.applyCpuSeconds += clock.cpuSeconds();
        return Status::success();
    };
    Side floor = [&] {
        Stopwatch clock;
        for (const Write& write : writes) {
            if (write.rowid == 0)
                continue;
            sqlite3_reset(floorUpdate.get());
            sqlite3_bind_double(floorUpdate.get(), 1, write.cost);
            sqlite3_bind_double(floorUpdate.get(), 2, write.price);
            sqlite3_bind_int64(floorUpdate.get(), 3, write.rowid);
            if (sqlite3_step(floorUpdate.get()) != SQLITE_DONE)
                return R::failure(floored + ": " + sqliteError(db));
        }
        sqlite3_reset(floorUpdate.get());
        figures.floorSeconds += clock.seconds();
        figures.floorCpuSeconds += clock.cpuSeconds();
        return Status::success();
    };
    if (Status s = inTurn<Side>(measure, {withRecord, withoutRecord, floor}); !s)
        return s;
    figures.saves = sqlite3_total_changes(sqliteHandle(*host)) - before;
    floorUpdate.reset();

    figures.differences = differingRecords(db, applied);
    return Status::success();
}

} // namespace tarvex::bench
