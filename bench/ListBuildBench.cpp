// Timing buildChangeList beside one SQL join that yields the same rows.
#include "ListBuildBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "platform/Database.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "review/ChangeList.h"

#include <sqlite3.h>

#include <algorithm>
#include <set>

namespace tarvex::bench {

namespace {

// Each plan line of sql on db, "SEARCH product USING ..." and the like.
std::vector<std::string> queryPlan(sqlite3* db, const std::string& sql)
{
    std::vector<std::string> plan;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return {"(no plan: " + sqliteError(db) + ")"};
    while (sqlite3_step(stmt) == SQLITE_ROW)
        plan.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
    sqlite3_finalize(stmt);
    return plan;
}

// Attaches the vendor's file to db as "vendor". Returns SQLite's result.
int attachVendor(sqlite3* db, const std::string& vendorPath)
{
    sqlite3_stmt* attach = nullptr;
    sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS vendor", -1, &attach, nullptr);
    sqlite3_bind_text(attach, 1, vendorPath.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(attach);
    sqlite3_finalize(attach);
    return rc;
}

// The floor: the whole list in one statement; every column of every row is
// read as the window would need it. Result: the vendor IDs in order.
Result<std::vector<std::int64_t>> runFloor(const std::string& vendorPath, const std::string& hostPath, double& seconds)
{
    using R = Result<std::vector<std::int64_t>>;
    Result<Database> host = Database::open(hostPath);
    if (!host)
        return R::failure(host.error());
    sqlite3* db = sqliteHandle(*host);
    int rc = attachVendor(db, vendorPath);
    if (rc != SQLITE_DONE)
        return R::failure(vendorPath + ": cannot attach: " + sqliteError(db));

    std::vector<std::int64_t> ids;
    Stopwatch clock;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, ListBuildBench::floorSql(), -1, &stmt, nullptr) != SQLITE_OK)
        return R::failure(hostPath + ": " + sqliteError(db));
    std::size_t bytes = 0;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(stmt, 0));
        for (int c : {1, 2, 7})
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
        double sum = 0;
        for (int c = 3; c <= 6; ++c)
            sum += sqlite3_column_double(stmt, c);
        bytes += sum > 0 ? 1 : 0;
    }
    sqlite3_finalize(stmt);
    seconds = clock.seconds();
    if (rc != SQLITE_DONE)
        return R::failure(hostPath + ": " + sqliteError(db));
    return ids;
}

} // namespace

const char* ListBuildBench::floorSql()
{
    // The host product of a code is the first in QuickID order: the smallest
    // rowid among equal codes. The current cost is read back from 15
    // significant digits before the comparison, as the listing rule has it.
    return R"sql(
SELECT v.ID, v.quickid, v.Name, ifnull(h.cost, 0), ifnull(h.retailprice, 0), v.cost, v.retailprice,
       CASE WHEN v.cost > ifnull(h.cost, 0) THEN ' Cost Change' ELSE ' Price Change' END ||
       CASE WHEN v.retailprice > ifnull(h.retailprice, 0) AND v.cost > ifnull(h.cost, 0)
            THEN ' and Price Change' ELSE '' END
FROM vendor.product AS v
JOIN main.product AS h ON h.rowid = (SELECT min(rowid) FROM main.product WHERE quickid = v.quickid)
WHERE v."Delete" = 0
  AND (v.cost <> CAST(printf('%.15g', ifnull(h.cost, 0)) AS REAL) OR v.retailprice > ifnull(h.retailprice, 0))
ORDER BY v.quickid, v.ID
)sql";
}

Result<ListBuildFigures> ListBuildBench::measure(const std::string& vendorPath, const std::string& hostPath,
                                                 int repeats)
{
    using R = Result<ListBuildFigures>;
    ListBuildFigures figures;
    figures.buildSeconds = figures.floorSeconds = 1e300;
    std::vector<std::int64_t> built;
    std::vector<std::int64_t> floorIds;
    for (int run = 0; run < repeats; ++run) {
        {
            Result<Database> update = Database::open(vendorPath);
            if (!update)
                return R::failure(update.error());
            Result<Database> host = Database::open(hostPath);
            if (!host)
                return R::failure(host.error());
            QuietPrompter prompter;
            // The statements the build has open on the host while it runs
            // are the ones whose plan matters.
            std::set<std::string> hostStatements;
            if (run == 0)
                prompter.onEvents = [&] {
                    for (sqlite3_stmt* s = sqlite3_next_stmt(sqliteHandle(*host), nullptr); s;
                         s = sqlite3_next_stmt(sqliteHandle(*host), s))
                        hostStatements.insert(sqlite3_sql(s));
                };
            Stopwatch clock;
            Result<ChangeList> list = buildChangeList(*update, *host, prompter);
            double seconds = clock.seconds();
            if (!list)
                return R::failure(list.error());
            figures.buildSeconds = std::min(figures.buildSeconds, seconds);
            if (run == 0) {
                figures.rows = list->rows.size();
                figures.unreadable = list->unreadable.size();
                figures.progresses = prompter.progresses;
                for (const ProposedChange& row : list->rows)
                    built.push_back(row.vendorId);
                for (const std::string& sql : hostStatements)
                    if (sql.find("WHERE") != std::string::npos)
                        for (std::string& line : queryPlan(sqliteHandle(*host), sql))
                            figures.lookupPlan.push_back(std::move(line));
            }
        }
        double seconds = 0;
        Result<std::vector<std::int64_t>> ids = runFloor(vendorPath, hostPath, seconds);
        if (!ids)
            return R::failure(ids.error());
        figures.floorSeconds = std::min(figures.floorSeconds, seconds);
        if (run == 0)
            floorIds = std::move(*ids);
    }
    figures.floorRows = floorIds.size();
    figures.sameRows = floorIds == built;

    Result<Database> host = Database::open(hostPath);
    if (host && attachVendor(sqliteHandle(*host), vendorPath) == SQLITE_DONE)
        figures.floorPlan = queryPlan(sqliteHandle(*host), floorSql());
    return figures;
}

} // namespace tarvex::bench
