// NewDatabaseFile: a database file that comes into being whole or not at all.
// It is written as a hidden temporary file in the destination's folder and
// moved to its name only by commit(), after it has been closed and flushed to
// disk; a run that fails or stops before that leaves no file behind and never
// touches an existing file of that name.
#pragma once

#include "platform/Result.h"

#include <string>

struct sqlite3;

namespace tarvex {

class NewDatabaseFile {
public:
    // Creates the temporary file beside path and opens it as an empty
    // database. Fails, naming path, when path already exists and replace is
    // false, or when its folder cannot be written.
    static Result<NewDatabaseFile> create(const std::string& path, bool replace);

    NewDatabaseFile(NewDatabaseFile&& other) noexcept;
    NewDatabaseFile& operator=(NewDatabaseFile&&) = delete;
    NewDatabaseFile(const NewDatabaseFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~NewDatabaseFile();

    const std::string& path() const { return m_path; }
    sqlite3* handle() const { return m_db; }

    // Runs SQL text (one or more statements). Fails with SQLite's message,
    // naming path.
    Status execute(const std::string& sql);

    // Closes the database, flushes it, and gives it its name. Without replace
    // a file that appeared at path in the meantime is not overwritten: the
    // commit then fails and the temporary file is removed.
    Status commit();

private:
    NewDatabaseFile(std::string path, std::string temporary, sqlite3* db, bool replace);
    void discard();

    std::string m_path;
    std::string m_temporary;
    sqlite3* m_db = nullptr;
    bool m_replace = false;
};

} // namespace tarvex
