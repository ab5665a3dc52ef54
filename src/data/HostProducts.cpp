// Seeking a recorded host product and reading its amounts.
#include "data/HostProducts.h"

#include "data/DatabaseNames.h"

namespace tarvex {

Result<Recordset> openHostProducts(Database& host)
{
    Result<Recordset> products = host.openTable(names::kProduct, {names::kQuickId, names::kCost, names::kRetailPrice});
    Status ready = products.status();
    if (ready.ok())
        ready = products->setIndex(names::kQuickIdIndex);
    if (!ready.ok())
        return Result<Recordset>::failure(host.path() + ": " + ready.error(), ready.kind());
    return products;
}

Result<std::optional<HostAmounts>> findHostProduct(const Database& host, Recordset& products, const std::string& code,
                                                   std::int64_t record)
{
    using R = Result<std::optional<HostAmounts>>;
    if (Status found = products.seek(Key{code}); !found.ok())
        return R::failure(host.path() + ": " + found.error(), found.kind());
    if (products.noMatch() || products.rowId() != record)
        return std::optional<HostAmounts>();
    Result<std::optional<double>> cost = products.number(names::kCost);
    if (!cost)
        return R::failure(host.path() + ": " + cost.error(), cost.kind());
    Result<std::optional<double>> price = products.number(names::kRetailPrice);
    if (!price)
        return R::failure(host.path() + ": " + price.error(), price.kind());
    return std::optional<HostAmounts>(HostAmounts{*cost, *price});
}

} // namespace tarvex
