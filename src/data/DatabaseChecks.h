// Checks made when a database is opened: that the path is a file the engine
// can safely open, and that a table has the columns and named indexes the run
// will use, so that a wrong file is refused at once with a text saying what is
// wrong instead of failing half-way through the run.
#pragma once

#include "platform/Database.h"

#include <string>
#include <vector>

namespace tarvex {

// Success when path does not exist (the open itself reports that) or names an
// ordinary file or a link to one. A folder, device or pipe is refused before
// the engine opens it: reading a pipe would wait for ever. An empty file is
// refused too: the engine would take it for an empty database.
Status checkDatabaseFile(const std::string& path);

// A named index a run needs. When firstColumn is set, the index must have that
// column first: the run seeks by it, and a seek through an index on another
// column would find the wrong records. When distinctKeys is set, no two
// records may share a value of that column: a seek finds one record only,
// and a record sharing its key with another could not be found by it.
struct IndexNeed {
    std::string name;
    std::string firstColumn;
    bool distinctKeys = false;
};

// Success when table exists in db with every one of columns and indexes (names
// without regard to letter case), none of them partial or on an expression,
// and none of amounts (some of columns) stores dates. Otherwise a failure
// naming the file, the table and the first thing missing or wrong.
Status checkTable(Database& db, const std::string& table, const std::vector<std::string>& columns,
                  const std::vector<IndexNeed>& indexes, const std::vector<std::string>& amounts = {});

} // namespace tarvex
