// AccessDatabase: the Access engine behind a Database, over the Access reader
// (AccessFile). The file is read into memory once at the open; tables, their
// indexes, walks and seeks are served from there, with the letter case of
// table, column and index names ignored as Access ignores it.
//
// This version only reads Access files: saveCheck() succeeds, so that a run
// can list what it would change, and the first save of a record fails
// (ReadOnly) with a text saying that nothing was written. Nothing here ever
// writes to the file.
#pragma once

#include "platform/AccessFile.h"
#include "platform/DatabaseEngine.h"

#include <memory>
#include <string>
#include <vector>

namespace tarvex {

class AccessDatabase : public DatabaseEngine {
public:
    // Opens the Access file at path for reading. Fails, naming the file, when
    // it cannot be read (NotFound when it does not exist), or is encrypted
    // or damaged (NotADatabase); the text gives the reason.
    static Result<std::unique_ptr<AccessDatabase>> open(const std::string& path);

    // What a save into an Access file answers in this version.
    static const char* const kWriteRefused;

    bool hasTable(const std::string& table) override;
    Result<std::unique_ptr<EngineTable>> openTable(const std::string& table,
                                                   const std::vector<std::string>& columns) override;
    Result<IndexInfo> index(const std::string& table, const std::string& index) override;
    Result<std::uint64_t> recordCount(const std::string& table) override;
    // Success: the refusal comes with the first save, so that the run can
    // still show what it would change.
    Status saveCheck() override { return Status::success(); }
    Status settleLog() override { return Status::success(); }
    // The whole file is in memory: there is no lock to hold.
    Status beginRead() override { return Status::success(); }
    void endRead() override {}

private:
    explicit AccessDatabase(AccessFile file);

    AccessFile m_file;
};

} // namespace tarvex
