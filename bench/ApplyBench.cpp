// Timing applyChanges beside one autocommit UPDATE per row.
#include "ApplyBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "platform/Database.h"
#include "review/ChangeApplier.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

namespace tarvex::bench {

namespace {

namespace fs = std::filesystem;

struct StatementCloser {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    return Statement(raw);
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

// The writes the apply makes for rows, found before the clock starts: the
// first host record of each code, the vendor's cost where it has one, and
// the greater of the two prices.
std::vector<Write> plannedWrites(sqlite3* db, const std::vector<const ProposedChange*>& rows)
{
    Statement find =
        prepare(db, "SELECT rowid, cost, retailprice FROM product WHERE quickid = ?1 ORDER BY quickid, rowid LIMIT 1");
    std::vector<Write> writes;
    for (const ProposedChange* row : rows) {
        sqlite3_reset(find.get());
        sqlite3_bind_text(find.get(), 1, row->quickid.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(find.get()) != SQLITE_ROW)
            continue;
        Write write;
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

    {
        Result<Database> update = Database::open(vendorPath);
        if (!update)
            return R::failure(update.error());
        Result<Database> host = Database::open(applied);
        if (!host)
            return R::failure(host.error());
        figures.journal = "journal_mode=" + pragmaText(host->handle(), "PRAGMA journal_mode") +
                          ", synchronous=" + pragmaText(host->handle(), "PRAGMA synchronous");
        QuietPrompter prompter;
        const int before = sqlite3_total_changes(host->handle());
        Stopwatch clock;
        ApplyReport report = applyChanges(*update, *host, chosen, prompter);
        figures.applySeconds = clock.seconds();
        figures.saves = sqlite3_total_changes(host->handle()) - before;
        figures.updated = report.updated;
        figures.failed = report.failed.size();
    }

    {
        Result<Database> host = Database::open(floored);
        if (!host)
            return R::failure(host.error());
        sqlite3* db = host->handle();
        std::vector<Write> writes = plannedWrites(db, chosen);
        Stopwatch clock;
        Statement update = prepare(db, "UPDATE product SET cost = ?1, retailprice = ?2 WHERE rowid = ?3");
        for (const Write& write : writes) {
            sqlite3_reset(update.get());
            sqlite3_bind_double(update.get(), 1, write.cost);
            sqlite3_bind_double(update.get(), 2, write.price);
            sqlite3_bind_int64(update.get(), 3, write.rowid);
            if (sqlite3_step(update.get()) != SQLITE_DONE)
                return R::failure(floored + ": " + sqliteError(db));
        }
        update.reset();
        figures.floorSeconds = clock.seconds();

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
    std::error_code ignored;
    fs::remove(applied, ignored);
    fs::remove(floored, ignored);
    return figures;
}

} // namespace tarvex::bench
