// Checks on a database file before and after it is opened: the kind of file,
// then table, columns (amounts that must not be dates), named indexes, the
// leading column of each index that is searched and, where records are told
// apart by it, that its values are distinct.
#include "data/DatabaseChecks.h"

#include "platform/text/TextHelpers.h"

#include <sys/stat.h>

namespace tarvex {

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
                  const std::vector<IndexNeed>& indexes, const std::vector<std::string>& amounts)
{
    Result<Recordset> recordset = db.openTable(table, columns);
    if (!recordset)
        return recordset.status();
    for (const std::string& column : amounts)
        if (recordset->holdsDates(column))
            return Status::failure(db.path() + ": column \"" + column + "\" of table \"" + recordset->tableName() +
                                   "\" holds dates (a Date/Time column), not amounts");
    for (const IndexNeed& need : indexes) {
        Result<IndexInfo> index = db.index(recordset->tableName(), need.name);
        if (!index)
            return index.status();
        if (!need.firstColumn.empty() && !sameIgnoringCase(index->columns.front(), need.firstColumn))
            return Status::failure(db.path() + ": index \"" + need.name + "\" of table \"" + recordset->tableName() +
                                   "\" is not on column \"" + need.firstColumn + "\"");
        if (!need.distinctKeys)
            continue;
        if (Status chosen = recordset->setIndex(need.name); !chosen)
            return Status::failure(db.path() + ": " + chosen.error(), chosen.kind());
        Result<std::optional<std::string>> repeated = recordset->repeatedKey();
        if (!repeated)
            return Status::failure(db.path() + ": " + repeated.error(), repeated.kind());
        if (*repeated)
            return Status::failure(db.path() + ": more than one record of table \"" + recordset->tableName() +
                                   "\" has " + need.firstColumn + " " + **repeated + ", so index \"" + need.name +
                                   "\" cannot tell them apart");
    }
    return Status::success();
}

} // namespace tarvex
