// AccessSaving: how records of one open Access database are saved. It holds
// the claim on the file (AccessFileClaim) and one AccessWriter for each
// table and set of amount columns written, all taken at the first save (or
// at claim()) and held until release() or the end of the object, on every
// way out of the run.
//
// The claim is not taken when the file is opened: while the backup copy is
// made, the file must be seen as free, and the claim would be seen as
// another user. check() looks without claiming.
//
// Failures carry the ErrorKind the apply decides by: Busy when another
// program or user has the file (the text says who and what to do), and for
// a table or a record the kind errorKindOf() gives its writer's failure
// (AccessWriter.h).
#pragma once

#include "platform/Result.h"
#include "platform/access/AccessFile.h"
#include "platform/access/AccessFileClaim.h"
#include "platform/access/AccessWriter.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

class AccessSaving {
public:
    // For the records of file, which must outlive this object.
    explicit AccessSaving(const AccessFile& file);
    AccessSaving(const AccessSaving&) = delete;
    AccessSaving& operator=(const AccessSaving&) = delete;
    ~AccessSaving();

    // Whether records could be saved, as far as can be told without the
    // claim: the file can be written, as can its folder when a lock file has
    // to be made there (ReadOnly, naming the file). Who else uses the file
    // is the claim's to find (and the backup copy's, before it is made).
    Status check() const;
    // Whether new amounts could be written into columns of table: fails
    // (ReadOnly), with the reason, when AccessWriter would refuse the table
    // as a whole or could not open the file for writing. Nothing is claimed
    // or written.
    Status tableCheck(const std::string& table, const std::vector<std::string>& columns) const;

    // Takes the claim when it is not held yet; when it is, looks again for
    // anyone who opened the file meanwhile: the check to make just before
    // writing. Fails, naming the file, when anybody else has it (Busy; the
    // text says who and what to do), or the file or its lock file cannot be
    // written (ReadOnly) or locked (Io); then nothing is held and nothing has
    // been written.
    Status claim();

    // Writes values (one per column: a number, empty, or left as it is)
    // into the record of table at place, while the record still holds
    // expected (AccessTable::stored) for each column and knownBy for the
    // columns it was found by; see AccessWriter::save. Takes the claim first
    // when it is not held. A failure's text does not name the file: it names
    // the table, the record and the problem, as other record saves do ("is
    // in use by ..." for a file somebody else has). On success, for each
    // column, the bytes now stored and the value they read as (nothing for
    // a column made empty or left as it was). With AccessFlush::Later the
    // save is durable once flush() succeeds; a save of any table flushes the
    // write still on its way once its own is made ready, before it writes
    // (one at a time is on its way), and fails with that flush's failure,
    // having written nothing, when it fails: flush() then says it again.
    // A save that succeeds leaves only its own write on its way.
    Result<std::vector<std::optional<AccessEncoded>>>
    save(const std::string& table, const std::vector<std::string>& columns, const AccessPlace& place,
         const std::vector<AccessStoredField>& expected, const std::vector<AccessAmount>& values,
         const std::vector<AccessKnownBy>& knownBy = {}, AccessFlush flush = AccessFlush::Now);
    // A save with nothing to write: flushes the write on its way, as every
    // save does, its failure said by flush() as well.
    Status saveNothing();
    // Flushes the write of the last save made with AccessFlush::Later, and
    // reads it back (AccessWriter::flush); the failure (Io) names the record,
    // not the file. Success when none is on its way, unless a save failed
    // since the last call because that flush failed within it.
    Status flush();

    // Flushes the write still on its way, closes the writers and ends the
    // claim: the lock file is put back as it was found, or removed when the
    // claim made it. Safe to call again.
    void release();

    bool claimed() const { return m_claim.has_value(); }

private:
    // A writer for one table and set of columns, or why none could be opened.
    struct Writer {
        std::string table;
        std::vector<std::string> columns;
        std::optional<AccessWriter> writer;
        Status refusal = Status::success();
    };
    Writer& writerFor(const std::string& table, const std::vector<std::string>& columns);
    // error without the file's path at its start: the texts of the claim and
    // of the reader name the file, which a record's failure leaves to the
    // caller.
    std::string withoutPath(const std::string& error) const;

    const AccessFile& m_file;
    std::optional<AccessFileClaim> m_claim;
    std::vector<Writer> m_writers;
    // The writer (by its place in m_writers) whose last write is on its way.
    std::optional<std::size_t> m_pending;
    // A write's flush that failed within a later save, until flush() says so.
    std::optional<Status> m_failedFlush;
};

// AccessSaving::check() for the Access file at path of kind, before it is
// read: the file can be written, and so can its lock file, or the folder
// where the lock file has to be made.
Status accessSaveCheck(const std::string& path, DatabaseKind kind);

} // namespace tarvex
