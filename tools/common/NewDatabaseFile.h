// NewDatabaseFile: a database file that comes into being whole or not at all.
// It is written as a StagedFile beside its name and given that name only by
// commit(), after it has been closed and flushed to disk; a run that fails or
// is stopped (Ctrl+C, a closed terminal, a kill) before that leaves no file
// behind and never touches an existing file of that name.
#pragma once

#include "platform/Result.h"
#include "platform/os/StagedFile.h"

#include <optional>
#include <string>

struct sqlite3;

namespace tarvex {

class NewDatabaseFile {
public:
    // Creates the staged file beside path and opens it as an empty database.
    // Fails, naming path, when path already exists and replace is false, when
    // path is a folder, or when its folder cannot be written.
    static Result<NewDatabaseFile> create(const std::string& path, bool replace);

    NewDatabaseFile(NewDatabaseFile&& other) noexcept;
    NewDatabaseFile& operator=(NewDatabaseFile&&) = delete;
    NewDatabaseFile(const NewDatabaseFile&) = delete;
    // Removes the staged file unless it was committed.
    ~NewDatabaseFile();

    const std::string& path() const { return m_path; }
    sqlite3* handle() const { return m_db; }

    // Runs SQL text (one or more statements). Fails with SQLite's message,
    // naming path.
    Status execute(const std::string& sql);

    // Closes the database, flushes it, and gives it its name. Without replace
    // a file that appeared at path in the meantime is not overwritten: the
    // commit then fails ("already exists") and the staged file is removed.
    Status commit();

private:
    NewDatabaseFile(std::string path, StagedFile staged, bool replace);
    void discard();

    std::string m_path;
    std::optional<StagedFile> m_staged;
    sqlite3* m_db = nullptr;
    bool m_replace = false;
};

} // namespace tarvex
