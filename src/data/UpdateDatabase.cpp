// Opening the update database and reading the vendor of the run.
#include "data/UpdateDatabase.h"

#include "data/DatabaseChecks.h"
#include "data/DatabaseNames.h"
#include "platform/SqlText.h"

#include <sqlite3.h>

namespace tarvex {

Result<Database> openUpdateDatabase(const std::string& path)
{
    if (Status file = checkDatabaseFile(path); !file)
        return file;
    // The price list is only ever read, and may sit in a folder the user
    // cannot write.
    Result<Database> db = Database::open(path, Database::Access::ReadOnly);
    if (!db)
        return db;
    using namespace names;
    // The listing order may be on any columns; the price list is looked up by
    // ID through Primarykey, which must therefore lead with ID, and the ID of
    // a listed product must lead back to that product and no other. An index
    // not declared unique is accepted when the IDs are distinct all the same.
    Status checked = checkTable(*db, kProduct, {kId, kQuickId, kName, kCost, kRetailPrice, kDelete},
                                {{kUpdateIdIndex, ""}, {kPrimaryKeyIndex, kId, true}});
    if (!checked)
        return checked;
    return db;
}

Result<std::string> firstVendorName(Database& update)
{
    using R = Result<std::string>;
    // openTable finds the file's spelling of the table and checks the column.
    Result<Recordset> vendor = update.openTable(names::kVendor, {names::kName});
    if (!vendor)
        return R::failure(vendor.error());
    // The table has no index to walk by: "first" is the first record stored,
    // the lowest row id.
    std::string sql = "SELECT " + quoteIdentifier(names::kName) + " FROM " + quoteIdentifier(vendor->tableName()) +
                      " ORDER BY " + vendor->rowIdName() + " LIMIT 1";
    sqlite3* db = update.handle();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return R::failure(update.path() + ": reading table \"" + vendor->tableName() + "\": " + sqliteError(db));
    int rc = sqlite3_step(stmt);
    std::string name;
    if (rc == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
        name.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                    static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)));
    std::string error = rc == SQLITE_ROW || rc == SQLITE_DONE ? "" : sqliteError(db);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_DONE)
        return R::failure(update.path() + ": table \"" + vendor->tableName() + "\" has no record");
    if (rc != SQLITE_ROW)
        return R::failure(update.path() + ": reading table \"" + vendor->tableName() + "\": " + error);
    return name;
}

} // namespace tarvex
