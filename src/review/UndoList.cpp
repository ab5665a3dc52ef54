// Comparing a recorded run's saved products with what the host holds now.
#include "review/UndoList.h"

#include "data/HostProducts.h"
#include "review/ReadHold.h"

namespace tarvex {

namespace {

// What comes back, in the words of a normal list's labels.
std::string restoreLabel(const HostAmounts& now, const ProductEntry& entry)
{
    bool cost = now.cost != entry.costBefore;
    bool price = now.price != entry.priceBefore;
    if (cost && price)
        return " Cost Change and Price Change";
    return cost ? " Cost Change" : " Price Change";
}

} // namespace

Result<ChangeList> buildUndoList(Database& host, const std::vector<RecordedEntry>& entries)
{
    ReadHold read(host);
    Result<Recordset> products = openHostProducts(host);
    if (!products)
        return products.status();
    ChangeList list;
    for (const RecordedEntry& entry : entries) {
        if (entry.state != EntryState::Saved)
            continue;
        const ProductEntry& product = entry.product;
        const std::int64_t* record = std::get_if<std::int64_t>(&product.record);
        Result<std::optional<HostAmounts>> now =
            record ? findHostProduct(host, *products, product.code, *record) : std::optional<HostAmounts>();
        if (!now)
            return now.status();
        ProposedChange row;
        row.quickid = product.code;
        row.name = product.name;
        row.newCost = product.costBefore;
        row.newPrice = product.priceBefore;
        HostAmounts written{product.costAfter, product.priceAfter};
        ProposedChange::Restore restore{entry.id, record ? *record : 0, written.cost, written.price, false};
        if (*now) {
            row.currentCost = (*now)->cost.value_or(0);
            row.currentPrice = (*now)->price.value_or(0);
        }
        restore.changedSince = !*now || **now != written;
        row.change = restore.changedSince ? kChangedSinceLabel : restoreLabel(written, product);
        row.restore = restore;
        list.rows.push_back(std::move(row));
    }
    return list;
}

} // namespace tarvex
