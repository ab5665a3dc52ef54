// Opening the host database: the file must hold the product table the review
// reads, with the index it seeks through, and must be writable, since the
// apply step writes the chosen prices into it.
#include "data/HostDatabase.h"

#include "data/DatabaseChecks.h"
#include "data/DatabaseNames.h"

namespace tarvex {

Result<Database> openHostDatabase(const std::string& path, const OpenOptions& options)
{
    if (Status file = checkDatabaseFile(path); !file)
        return file;
    Result<Database> db = Database::open(path, options);
    if (!db)
        return db;
    using namespace names;
    Status checked = checkTable(*db, kProduct, {kQuickId, kCost, kRetailPrice}, {{kQuickIdIndex, kQuickId}});
    if (!checked)
        return checked;
    // A date is stored as a number of days: listed, it would show as a
    // current amount, and a vendor's amount would be written over it.
    Result<Recordset> products = db->openTable(kProduct, {kCost, kRetailPrice});
    if (!products)
        return products.status();
    for (const char* column : {kCost, kRetailPrice})
        if (products->holdsDates(column))
            return Status::failure(db->path() + ": column \"" + column + "\" of table \"" + products->tableName() +
                                   "\" holds dates (a Date/Time column), not amounts, so no price change could be "
                                   "compared with it or saved to it");
    // Found now, before the review is built, instead of at the first record
    // the apply step tries to save.
    if (Status writable = db->saveCheck(); !writable)
        return Status::failure(writable.error() + ", so the price changes could not be saved to it", writable.kind());
    return db;
}

} // namespace tarvex
