// Reading a run record for the history: the products of a run and the run
// list's counts, through a connection of its own opened only to read.
#include "data/history/RunProducts.h"

#include "platform/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <map>
#include <memory>

namespace tarvex {

namespace {

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// For each run, how many distinct host records it saved. Empty when the
// record cannot be read this way (none yet, or a write of another run cut
// short that only a writer may roll back): the counts of listRuns() stand.
std::map<std::int64_t, std::size_t> distinctSaved(const std::string& path)
{
    std::map<std::int64_t, std::size_t> counts;
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, CloseDb> db(raw);
    if (rc != SQLITE_OK)
        return counts;
    sqlite3_busy_timeout(db.get(), 5000);
    SqliteStatement select = prepareStatement(
        db.get(), "SELECT run, count(DISTINCT host_record) FROM entry WHERE state = 'saved' GROUP BY run");
    if (!select)
        return counts;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW)
        counts[sqlite3_column_int64(select.get(), 0)] = static_cast<std::size_t>(sqlite3_column_int64(select.get(), 1));
    if (rc != SQLITE_DONE)
        counts.clear();
    return counts;
}

} // namespace

std::vector<RecordedEntry> runProducts(const std::vector<RecordedEntry>& entries)
{
    std::vector<RecordedEntry> products;
    std::map<HostRecordId, std::size_t> at;
    for (const RecordedEntry& entry : entries) {
        auto [found, added] = at.try_emplace(entry.product.record, products.size());
        if (added) {
            products.push_back(entry);
            continue;
        }
        RecordedEntry& product = products[found->second];
        // A later entry decides, unless an earlier one was saved and this
        // one was not: the record then holds the saved values.
        if (product.state == EntryState::Saved && entry.state != EntryState::Saved)
            continue;
        product.product.costAfter = entry.product.costAfter;
        product.product.priceAfter = entry.product.priceAfter;
        product.state = entry.state;
        product.reason = entry.reason;
    }
    return products;
}

Result<std::vector<RunSummary>> runsAsShown(RunRecordFile& record)
{
    Result<std::vector<RunSummary>> runs = record.listRuns();
    if (!runs || runs->empty())
        return runs;
    std::map<std::int64_t, std::size_t> counts = distinctSaved(record.path());
    for (RunSummary& run : *runs)
        if (auto count = counts.find(run.number); count != counts.end())
            run.changed = count->second;
        else if (!counts.empty())
            run.changed = 0;
    // Newest first: every undo run comes before the run it undoes, so its
    // own state is settled by then.
    std::map<std::int64_t, std::vector<UndoState>> undoStates;
    for (RunSummary& run : *runs) {
        if (run.undone != UndoState::NotUndone) {
            const std::vector<UndoState>& states = undoStates[run.number];
            bool anyStanding = states.empty();
            bool anyPartly = false;
            for (UndoState state : states) {
                anyStanding = anyStanding || state == UndoState::NotUndone;
                anyPartly = anyPartly || state == UndoState::PartlyUndone;
            }
            if (!anyStanding)
                run.undone = anyPartly ? UndoState::PartlyUndone : UndoState::NotUndone;
        }
        if (run.info.kind == RunKind::Undo && run.info.undoes && run.finished)
            undoStates[*run.info.undoes].push_back(run.undone);
    }
    return runs;
}

} // namespace tarvex
