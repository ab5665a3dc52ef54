// Timing applyChanges beside one autocommit UPDATE per row.
#include "ApplyBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "platform/Database.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "platform/sqlite/SqliteStatement.h"
#include "review/ChangeApplier.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

namespace tarvex::bench {

namespace {

namespace fs = std::filesystem;

// Rows per turn of each side.
constexpr std::size_t kBatch = 200;

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

} // namespace

Result<ApplyFigures> ApplyBench::measure(const std::string& vendorPath, const std::string& hostPath,
                                         const std::string& folder, const ChangeList& list, std::size_t rows)
{
    using R = Result<ApplyFigures>;
    ApplyFigures figures;
    std::vector<const ProposedChange*> chosen;
    for (std::size_t i = 0; i < list.rows.size() && i < rows; ++i)
        chosen.push_back(&list.rows[i]);
    figures.rows = chosen.size();

    const std::string applied = folder + "/apply-tarvex.db";
    const std::string floored = folder + "/apply-floor.db";
    if (Status s = freshCopy(hostPath, applied); !s)
        return R(s);
    if (Status s = freshCopy(hostPath, floored); !s)
        return R(s);
    if (Status s = applyBoth(vendorPath, applied, floored, chosen, figures); !s)
        return R(s);
    std::error_code ignored;
    fs::remove(applied, ignored);
    fs::remove(floored, ignored);
    return figures;
}

Status ApplyBench::applyBoth(const std::string& vendorPath, const std::string& applied, const std::string& floored,
                             const std::vector<const ProposedChange*>& chosen, ApplyFigures& figures)
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

    // The two sides take turns, a batch of rows each, so that a spell of
    // slow flushing (another program writing to the same disk) falls on
    // both alike. Each batch of the real side is one whole applyChanges.
    const int before = sqlite3_total_changes(sqliteHandle(*host));
    QuietPrompter prompter;
    for (std::size_t from = 0; from < chosen.size(); from += kBatch) {
        const std::size_t to = std::min(chosen.size(), from + kBatch);
        std::vector<const ProposedChange*> batch(chosen.begin() + static_cast<std::ptrdiff_t>(from),
                                                 chosen.begin() + static_cast<std::ptrdiff_t>(to));
        Stopwatch clock;
        ApplyReport report = applyChanges(*update, *host, batch, prompter);
        figures.applySeconds += clock.seconds();
        figures.applyCpuSeconds += clock.cpuSeconds();
        figures.updated += report.updated;
        figures.failed += report.failed.size();

        clock.restart();
        for (std::size_t i = from; i < to; ++i) {
            const Write& write = writes[i];
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
    }
    figures.saves = sqlite3_total_changes(sqliteHandle(*host)) - before;
    floorUpdate.reset();

    {
        sqlite3_stmt* attach = nullptr;
        sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS applied", -1, &attach, nullptr);
        sqlite3_bind_text(attach, 1, applied.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(attach);
        sqlite3_finalize(attach);
        Statement compare = prepare(db, "SELECT count(*) FROM main.product AS f JOIN applied.product AS a "
                                        "ON a.rowid = f.rowid WHERE a.cost IS NOT f.cost "
                                        "OR a.retailprice IS NOT f.retailprice");
        figures.differences =
            compare && sqlite3_step(compare.get()) == SQLITE_ROW ? sqlite3_column_int64(compare.get(), 0) : -1;
    }
    return Status::success();
}

} // namespace tarvex::bench
