// Timing the list build over Access files beside the same rows in SQLite.
#include "AccessListBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "data/HostDatabase.h"
#include "platform/Database.h"
#include "pricelist/PriceListWriter.h"
#include "review/ChangeList.h"
#include "samplehost/SampleHost.h"

#include <algorithm>
#include <map>

namespace tarvex::bench {

namespace {

// A number field; empty when it cannot be read, as the list build then
// reports the product itself.
std::optional<double> numberOf(const Recordset& products, const char* column)
{
    Result<std::optional<double>> value = products.number(column);
    return value ? *value : std::nullopt;
}

// The product table of db with the columns both files share, walked through
// its index on ID.
Result<Recordset> productsInIdOrder(Database& db, const std::string& idIndex, std::vector<std::string> columns)
{
    for (const char* column : {"quickid", "Name", "cost", "retailprice", "Delete"})
        columns.emplace_back(column);
    Result<Recordset> products = db.openTable("product", columns);
    if (!products)
        return products;
    if (Status s = products->setIndex(idIndex); !s)
        return Result<Recordset>::failure(db.path() + ": " + s.error());
    return products;
}

// The price list's products in ID order, as the price-list writer takes them
// (it numbers them from 1), and their IDs in the file.
Result<std::vector<PriceListEntry>> readVendor(const std::string& path, std::vector<std::int64_t>& ids)
{
    using R = Result<std::vector<PriceListEntry>>;
    Result<Database> db = Database::open(path);
    if (!db)
        return R::failure(db.error());
    Result<Recordset> products = productsInIdOrder(*db, "Primarykey", {"ID"});
    if (!products)
        return R::failure(products.error());
    std::vector<PriceListEntry> entries;
    for (Status walk = products->moveFirst(); walk && !products->eof(); walk = products->moveNext()) {
        PriceListEntry entry;
        entry.quickid = products->text("quickid")->value_or("");
        entry.name = products->text("Name")->value_or("");
        entry.cost = numberOf(*products, "cost");
        entry.retailPrice = numberOf(*products, "retailprice");
        entry.deleted = numberOf(*products, "Delete").value_or(0) != 0;
        ids.push_back(static_cast<std::int64_t>(numberOf(*products, "ID").value_or(0)));
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The host's products in ID order, as the sample host maker takes them.
Result<std::vector<HostProduct>> readHost(const std::string& path)
{
    using R = Result<std::vector<HostProduct>>;
    Result<Database> db = Database::open(path);
    if (!db)
        return R::failure(db.error());
    Result<Recordset> products = productsInIdOrder(*db, "PrimaryKey", {});
    if (!products)
        return R::failure(products.error());
    std::vector<HostProduct> rows;
    for (Status walk = products->moveFirst(); walk && !products->eof(); walk = products->moveNext())
        rows.push_back({products->text("quickid")->value_or(""), products->text("Name")->value_or(""),
                        numberOf(*products, "cost"), numberOf(*products, "retailprice"),
                        numberOf(*products, "Delete").value_or(0) != 0});
    return rows;
}

// One build on fresh opens: its time, and the vendor IDs it listed.
Result<double> timeBuild(const std::string& vendorPath, const std::string& hostPath, std::vector<std::int64_t>& ids)
{
    Result<Database> update = Database::open(vendorPath);
    if (!update)
        return Result<double>::failure(update.error());
    Result<Database> host = Database::open(hostPath);
    if (!host)
        return Result<double>::failure(host.error());
    QuietPrompter prompter;
    Stopwatch clock;
    Result<ChangeList> list = buildChangeList(*update, *host, prompter);
    double seconds = clock.seconds();
    if (!list)
        return Result<double>::failure(list.error());
    ids.clear();
    for (const ProposedChange& row : list->rows)
        ids.push_back(row.vendorId);
    return seconds;
}

} // namespace

Result<AccessListFigures> AccessListBench::measure(const std::string& vendorPath, const std::string& hostPath,
                                                   const std::string& folder, int repeats)
{
    using R = Result<AccessListFigures>;
    AccessListFigures figures;
    std::vector<std::int64_t> vendorIds;
    Result<std::vector<PriceListEntry>> vendor = readVendor(vendorPath, vendorIds);
    if (!vendor)
        return R::failure(vendor.error());
    Result<std::vector<HostProduct>> host = readHost(hostPath);
    if (!host)
        return R::failure(host.error());
    figures.vendorProducts = vendor->size();
    figures.hostProducts = host->size();
    const std::string sqliteVendor = folder + "/invupdate-access-twin.mdb";
    const std::string sqliteHost = folder + "/kv-access-twin.mdb";
    if (Status s = PriceListWriter::write(sqliteVendor, "Benchmark Vendor", *vendor, true); !s)
        return R::failure(s.error());
    SampleHostOptions options;
    options.exactProducts = std::move(*host);
    if (Result<std::int64_t> written = SampleHost::write(sqliteHost, options, true); !written)
        return R::failure(written.error());

    figures.accessSeconds = figures.sqliteSeconds = figures.openSeconds = 1e300;
    std::vector<std::int64_t> accessIds;
    std::vector<std::int64_t> sqliteIds;
    for (int run = 0; run < repeats; ++run) {
        Stopwatch open;
        Result<Database> opened = openHostDatabase(hostPath);
        if (!opened)
            return R::failure(opened.error());
        figures.openSeconds = std::min(figures.openSeconds, open.seconds());
        Result<double> access = timeBuild(vendorPath, hostPath, accessIds);
        if (!access)
            return R::failure(access.error());
        figures.accessSeconds = std::min(figures.accessSeconds, *access);
        Result<double> sqlite = timeBuild(sqliteVendor, sqliteHost, sqliteIds);
        if (!sqlite)
            return R::failure(sqlite.error());
        figures.sqliteSeconds = std::min(figures.sqliteSeconds, *sqlite);
    }
    figures.rows = accessIds.size();
    // The SQLite list numbers the products from 1 in the Access list's ID
    // order.
    std::map<std::int64_t, std::int64_t> renumbered;
    for (std::size_t i = 0; i < vendorIds.size(); ++i)
        renumbered[vendorIds[i]] = static_cast<std::int64_t>(i) + 1;
    for (std::int64_t& id : accessIds)
        id = renumbered[id];
    figures.sameRows = accessIds == sqliteIds;
    return figures;
}

} // namespace tarvex::bench
