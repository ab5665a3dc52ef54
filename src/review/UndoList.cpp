// Comparing a recorded run's saved products with what the host holds now.
#include "review/UndoList.h"

#include "data/DatabaseNames.h"
#include "data/HostProducts.h"
#include "review/ProductValues.h"
#include "review/ReadHold.h"

#include <map>

namespace tarvex {

namespace {

// What comes back, in the words of a normal list's labels.
ChangeLabel restoreLabel(const HostAmounts& written, const ProposedChange& row)
{
    bool cost = written.cost != row.newCost;
    bool price = written.price != row.newPrice;
    if (cost && price)
        return ChangeLabel::CostAndPriceChange;
    return cost ? ChangeLabel::CostChange : ChangeLabel::PriceChange;
}

} // namespace

Result<ChangeList> buildUndoList(Database& host, const std::vector<RecordedEntry>& entries)
{
    ReadHold read(host);
    Result<Recordset> products = openHostProducts(host);
    if (!products)
        return products.status();
    ChangeList list;
    // The row of each host record, by code and identity: a record the run
    // saved more than once is one row, back to its values before the first
    // save, expected to hold what the last one wrote.
    std::map<std::pair<std::string, std::int64_t>, std::size_t> rowOf;
    for (const RecordedEntry& entry : entries) {
        if (entry.state != EntryState::Saved)
            continue;
        const ProductEntry& product = entry.product;
        const std::int64_t* record = std::get_if<std::int64_t>(&product.record);
        std::pair<std::string, std::int64_t> key{product.code, record ? *record : 0};
        auto [at, added] = rowOf.emplace(key, list.rows.size());
        if (added) {
            ProposedChange row;
            row.quickid = product.code;
            row.name = product.name;
            row.newCost = product.costBefore;
            row.newPrice = product.priceBefore;
            row.restore =
                std::make_unique<ProposedChange::Restore>(ProposedChange::Restore{entry.id, {}, 0, {}, {}, false});
            list.rows.push_back(std::move(row));
        } else {
            list.rows[at->second].restore->alsoUndoes.push_back(list.rows[at->second].restore->entry);
            list.rows[at->second].restore->entry = entry.id;
        }
        ProposedChange::Restore& restore = *list.rows[at->second].restore;
        restore.hostRecord = key.second;
        // What the run wrote, as the column keeps it: a record made before
        // runs recorded the stored form holds the vendor's own digits
        // (10.12345 where a Currency column kept 10.1234), which would
        // otherwise never match the host again.
        restore.costWritten = storedAs(*products, names::kCost, product.costAfter);
        restore.priceWritten = storedAs(*products, names::kRetailPrice, product.priceAfter);
        // Without a record identity of this engine's kind it cannot be found.
        restore.changedSince = !record;
    }
    for (ProposedChange& row : list.rows) {
        ProposedChange::Restore& restore = *row.restore;
        HostAmounts written{restore.costWritten, restore.priceWritten};
        if (!restore.changedSince) {
            Result<std::optional<HostAmounts>> now = findHostProduct(host, *products, row.quickid, restore.hostRecord);
            if (!now)
                return now.status();
            if (*now) {
                row.currentCost = (*now)->cost.value_or(0);
                row.currentPrice = (*now)->price.value_or(0);
            }
            restore.changedSince = !*now || **now != written;
        }
        row.change = restore.changedSince ? ChangeLabel::ChangedSince : restoreLabel(written, row);
    }
    return list;
}

} // namespace tarvex
