// Opening the host database: the file must hold the product table the review
// reads, with the index it seeks through, and must be writable, since the
// apply step writes the chosen prices into it.
#include "data/HostDatabase.h"

#include "data/DatabaseChecks.h"
#include "data/DatabaseNames.h"

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

namespace tarvex {

namespace {

// Whether the database keeps its rollback journal beside the file (every mode
// but an in-memory or disabled journal), which needs a writable folder.
bool journalBesideFile(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr) != SQLITE_OK)
        return true;
    std::string mode;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT)
        mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return mode != "memory" && mode != "off";
}

} // namespace

Result<Database> openHostDatabase(const std::string& path)
{
    if (Status file = checkDatabaseFile(path); !file)
        return file;
    Result<Database> db = Database::open(path);
    if (!db)
        return db;
    using namespace names;
    Status checked = checkTable(*db, kProduct, {kQuickId, kCost, kRetailPrice}, {{kQuickIdIndex, kQuickId}});
    if (!checked)
        return checked;
    // Found now, before the review is built, instead of at the first record
    // the apply step tries to save.
    if (db->isReadOnly())
        return Result<Database>::failure(path + ": the file can only be opened for reading, so the price changes "
                                                "could not be saved to it");
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    if (journalBesideFile(db->handle()) && ::access(folder.c_str(), W_OK | X_OK) != 0)
        return Result<Database>::failure(path + ": its folder " + folder.string() +
                                         " cannot be written, so the price changes could not be saved to the file");
    return db;
}

} // namespace tarvex
