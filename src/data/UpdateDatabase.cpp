// Opening the update database and reading the vendor of the run.
#include "data/UpdateDatabase.h"

#include "data/DatabaseChecks.h"
#include "data/DatabaseNames.h"

namespace tarvex {

Result<Database> openUpdateDatabase(const std::string& path, const OpenOptions& options)
{
    if (Status file = checkDatabaseFile(path); !file)
        return file;
    // The price list is only ever read, and may sit in a folder the user
    // cannot write.
    OpenOptions readOnly = options;
    readOnly.mode = OpenMode::ReadOnly;
    Result<Database> db = Database::open(path, readOnly);
    if (!db)
        return db;
    using namespace names;
    // The listing order may be on any columns; the price list is looked up by
    // ID through Primarykey, which must therefore lead with ID, and the ID of
    // a listed product must lead back to that product and no other. An index
    // not declared unique is accepted when the IDs are distinct all the same.
    Status checked = checkTable(*db, kProduct, {kId, kQuickId, kName, kCost, kRetailPrice, kDelete},
                                {{kUpdateIdIndex, ""}, {kPrimaryKeyIndex, kId, true}});
    if (!checked && !db->hasTable(kVendor)) {
        // Some other database was opened as the price list: the desktop
        // entry offers every .mdb, the salon's own and its backups among
        // them. The user is told what the file is rather than what is
        // missing from its product table.
        std::string text = path + " is not a vendor price list: it has no " + kVendor + " table";
        if (db->index(kProduct, kQuickIdIndex))
            text += " (it looks like the salon application's database)";
        return Result<Database>::failure(text);
    }
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
    // The table has no index to walk by: "first" is the first record stored.
    Status walked = vendor->moveFirst();
    if (!walked)
        return R::failure(update.path() + ": " + walked.error(), walked.kind());
    if (vendor->eof())
        return R::failure(update.path() + ": table \"" + vendor->tableName() + "\" has no record");
    Result<FieldValue> field = vendor->field(names::kName);
    if (!field)
        return R::failure(update.path() + ": " + field.error());
    // A name stored as a number reads in its text form; one stored as bytes
    // is taken as it stands.
    if (field->type == FieldValue::Type::Text || field->type == FieldValue::Type::Blob)
        return field->bytes;
    Result<std::optional<std::string>> name = vendor->text(names::kName);
    if (!name)
        return R::failure(update.path() + ": " + name.error());
    return name->value_or(std::string());
}

} // namespace tarvex
