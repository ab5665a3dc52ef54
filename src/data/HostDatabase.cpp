// Opening the host database: the file must hold the product table the review
// reads, with the index it seeks through, and must be writable, since the
// apply step writes the chosen prices into it.
#include "data/HostDatabase.h"

#include "data/DatabaseChecks.h"
#include "data/DatabaseNames.h"
#include "data/history/RunRecordFile.h"

#include <filesystem>

namespace tarvex {

namespace {

// A refusal of the host's saves as the user reads it.
Status unsaveable(const Status& refusal)
{
    return Status::failure(refusal.error() + ", so the price changes could not be saved to it", refusal.kind());
}

// What a user can do about a file or folder this user may not write.
constexpr const char* kAskForWriting =
    "\nLet this user write it (or run Tarvex as a user who may), and run Tarvex again. Nothing has been changed, "
    "and no backup copy was made.";

} // namespace

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
        return unsaveable(writable);
    return db;
}

Result<std::string> checkHostBeforeBackup(const std::string& path, const OpenOptions& options)
{
    using R = Result<std::string>;
    // A path that names no file is the backup's and the open's to refuse,
    // with their own reasons.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::string();
    if (Status writable = Database::writeCheck(path); !writable)
        return writable.kind() == ErrorKind::ReadOnly
                   ? R::failure(unsaveable(writable).error() + "." + kAskForWriting, ErrorKind::ReadOnly)
                   : R(writable);
    // An Access host is read now, which changes nothing in it: one that
    // cannot be read (encrypted, damaged, its product table linked to
    // another file) or whose table cannot be written ends the run before a
    // copy is made that no run could use.
    if (Result<DatabaseFileKind> kind = Database::fileKind(path); kind && kind->access) {
        Result<Database> host = openHostDatabase(path, options);
        if (!host)
            return R(host.status());
        using namespace names;
        if (Status table = host->tableSaveCheck(kProduct, {kCost, kRetailPrice}); !table)
            return R::failure(table.error() + ".\nSo the price changes could not be saved to " + path +
                                  ": change the table in Access as said, or change these prices in the salon "
                                  "application. Nothing has been changed, and no backup copy was made.",
                              ErrorKind::ReadOnly);
    }
    if (Status record = RunRecordFile::writeCheck(path); !record)
        return R::failure(record.error() + "." + kAskForWriting, ErrorKind::ReadOnly);
    return Database::otherUsersUnchecked(path);
}

} // namespace tarvex
