// AccessDatabase: the Access engine behind a Database, over the Access reader
// (AccessFile). The pages a table needs are read once, when it is first
// opened, and held; tables, their indexes, walks and seeks are served from
// there, with the letter case of table, column and index names ignored as
// Access ignores it.
//
// Records are saved in place through AccessSaving: the first save, or
// beginSaves() before it, claims the file (which finds anybody else using
// it, and then keeps everybody out), and the claim ends with endSaves() or
// when the database is closed. A save is durable once flushSaves() succeeds
// (the caller's next work overlaps the disk's). Nothing is claimed at the
// open: the backup copy that follows it must find the file free. A file
// opened only for reading is never written.
#pragma once

#include "platform/access/AccessFile.h"
#include "platform/access/AccessSaving.h"
#include "platform/db/DatabaseEngine.h"

#include <memory>
#include <string>
#include <vector>

namespace tarvex {

class AccessDatabase : public DatabaseEngine {
public:
    // Opens the Access file at path, for reading and saving records or
    // (mode) only for reading. Fails, naming the file, when
    // it cannot be read (NotFound when it does not exist), or is encrypted
    // or damaged (NotADatabase); the text gives the reason.
    static Result<std::unique_ptr<AccessDatabase>> open(const std::string& path, OpenMode mode = OpenMode::ReadWrite);

    // The tables' savers refer to the file: it stays where it was made.
    AccessDatabase(const AccessDatabase&) = delete;
    AccessDatabase& operator=(const AccessDatabase&) = delete;

    bool hasTable(const std::string& table) override;
    Result<std::unique_ptr<EngineTable>> openTable(const std::string& table,
                                                   const std::vector<std::string>& columns) override;
    Result<IndexInfo> index(const std::string& table, const std::string& index) override;
    Result<std::uint64_t> recordCount(const std::string& table) override;
    // Fails (ReadOnly), naming the file, when it was opened only for
    // reading, or it or its folder cannot be written; see
    // AccessSaving::check().
    Status saveCheck() override;
    // Fails (ReadOnly) for a table AccessWriter refuses as a whole, or a
    // file opened only for reading; see AccessSaving::tableCheck().
    Status tableSaveCheck(const std::string& table, const std::vector<std::string>& columns) override;
    Status settleLog() override { return Status::success(); }
    // Takes the claim when it is not held yet (AccessSaving::claim).
    Status beginSaves() override;
    // Flushes the last save's write (AccessSaving::flush): a save writes its
    // record and starts it on its way to the disk, and is durable once this
    // or the next save (which flushes it first) succeeds.
    Status flushSaves() override;
    // Flushes what is on its way and ends the claim (AccessSaving::release).
    void endSaves() override;
    // Takes the claim (AccessSaving::claim); endHold() ends it.
    Status holdWrites() override;
    void endHold() override { endSaves(); }
    // The pages read are held as read: there is no lock to hold (Access
    // offers none another program would honour).
    Status beginRead() override { return Status::success(); }
    void endRead() override {}

private:
    AccessDatabase(AccessFile file, OpenMode mode);

    AccessFile m_file;
    OpenMode m_mode;
    // Declared after the file it writes, so that it ends (and the claim with
    // it) first.
    std::unique_ptr<AccessSaving> m_saving;
};

} // namespace tarvex
