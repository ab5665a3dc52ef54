// Checks on a database file before and after it is opened: the kind of file,
// then table, columns, named indexes, the leading column of each index that
// is searched and, where records are told apart by it, that its values are
// distinct.
#include "data/DatabaseChecks.h"

#include "platform/SqlText.h"

#include <sqlite3.h>
#include <sys/stat.h>

namespace tarvex {

namespace {

// The first column of the named index, or nothing when it cannot be read (an
// index on an expression has no column name).
std::optional<std::string> firstIndexColumn(sqlite3* db, const std::string& index)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno LIMIT 1", -1, &stmt, nullptr) !=
        SQLITE_OK)
        return std::nullopt;
    sqlite3_bind_text(stmt, 1, index.c_str(), -1, SQLITE_TRANSIENT);
    std::optional<std::string> column;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT)
        column = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return column;
}

} // namespace

Status checkDatabaseFile(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Status::success();
    // SQLite reads an empty file as an empty database; for a file that should
    // hold one it only means the data is gone.
    if (S_ISREG(info.st_mode))
        return info.st_size == 0 ? Status::failure(path + ": the file is empty (0 bytes), not a database")
                                 : Status::success();
    return Status::failure(path + ": " + (S_ISDIR(info.st_mode) ? "is a folder" : "is a device or pipe") +
                           ", not a database file");
}

Status checkTable(Database& db, const std::string& table, const std::vector<std::string>& columns,
                  const std::vector<IndexNeed>& indexes)
{
    Result<Recordset> recordset = db.openTable(table, columns);
    if (!recordset)
        return recordset.status();
    for (const IndexNeed& index : indexes) {
        if (Status chosen = recordset->setIndex(index.name); !chosen)
            return Status::failure(db.path() + ": " + chosen.error());
        if (index.firstColumn.empty())
            continue;
        std::optional<std::string> first = firstIndexColumn(db.handle(), index.name);
        if (!first || !sameName(*first, index.firstColumn))
            return Status::failure(db.path() + ": index \"" + index.name + "\" of table \"" + recordset->tableName() +
                                   "\" is not on column \"" + index.firstColumn + "\"");
        if (!index.distinctKeys)
            continue;
        Result<std::optional<std::string>> repeated = recordset->repeatedKey();
        if (!repeated)
            return Status::failure(db.path() + ": " + repeated.error());
        if (*repeated)
            return Status::failure(db.path() + ": more than one record of table \"" + recordset->tableName() +
                                   "\" has " + index.firstColumn + " " + **repeated + ", so index \"" + index.name +
                                   "\" cannot tell them apart");
    }
    return Status::success();
}

} // namespace tarvex
