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
    // A cost or price stored as a date (a number of days) would be listed as
    // a current amount, and a vendor's amount written over it.
    Status checked =
        checkTable(*db, kProduct, {kQuickId, kCost, kRetailPrice}, {{kQuickIdIndex, kQuickId}}, {kCost, kRetailPrice});
    if (!checked)
        return checked;
    // Found now, before the review is built, instead of at the first record
    // the apply step tries to save.
    if (Status writable = db->saveCheck(); !writable)
        return Status::failure(writable.error() + ", so the price changes could not be saved to it", writable.kind());
    return db;
}

} // namespace tarvex
