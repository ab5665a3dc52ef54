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
// program or user has the file (the text says who and what to do), ReadOnly
// when the file or its folder refuses writes or a table cannot be written
// as it is, Io for a fault of the system; for one record, Changed when
// another program changed or deleted it since it was read, and Other when
// the record cannot take the values (the text says why).
#pragma once

#include "platform/access/AccessFile.h"
#include "platform/access/AccessFileClaim.h"
#include "platform/access/AccessTable.h"
#include "platform/access/AccessWriter.h"
#include "platform/Result.h"

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

    // Writes values (one per column, nothing leaving it as it is) into the
    // record of table at place, while the record still holds expected
    // (AccessTable::stored) for each column; see AccessWriter::save. Takes
    // the claim first when it is not held. A failure's text does not repeat
    // the file's path at its start: it names the table, the record and the
    // problem, as other record saves do ("is in use by ..." for a file
    // somebody else has). On success, written (when given) holds for each
    // column the bytes now stored and the value they read as (nothing for a
    // column left as it was).
    // empty (when given) names the columns to be made empty instead, and
    // knownBy the columns the record was found by, as AccessWriter::save
    // takes them.
    Status save(const std::string& table, const std::vector<std::string>& columns, const AccessPlace& place,
                const std::vector<AccessStoredField>& expected, const std::vector<std::optional<double>>& values,
                std::vector<std::optional<AccessWriter::Encoded>>* written = nullptr,
                const std::vector<bool>& empty = {}, const std::vector<AccessKnownBy>& knownBy = {});

    // Closes the writers and ends the claim: the lock file is put back as it
    // was found, or removed when the claim made it. Safe to call again.
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
    std::string withoutPath(const std::string& error) const;

    const AccessFile& m_file;
    std::optional<AccessFileClaim> m_claim;
    std::vector<Writer> m_writers;
};

// AccessSaving::check() for the Access file at path of kind, before it is
// read: the file can be written, and so can its lock file, or the folder
// where the lock file has to be made.
Status accessSaveCheck(const std::string& path, DatabaseKind kind);

// The change of one record of an opened table, as a Recordset makes it:
// edit() starts it on the current record, setNumber() gives a column its new
// amount, update() saves them together through saving, only while the
// record still holds what table read, in its amounts and in the columns it
// is known by (those of the index it was found through, and of the primary
// key). After a save the table reads the new amounts, and a later save of
// the record starts from them.
class AccessRecordEdit {
public:
    // Both must outlive this object.
    AccessRecordEdit(AccessSaving& saving, AccessTable& table);

    Status edit();
    // Fails when edit() did not start a change, or the column was not
    // opened or cannot be read.
    Status setNumber(const std::string& column, double value);
    // As setNumber(), for a column to be made empty.
    Status setEmpty(const std::string& column);
    // Saves the amounts given since edit(); nothing to do when none was.
    // Fails as AccessSaving::save() does, and the record is then left as it
    // was.
    Status update();

private:
    Status set(const std::string& column, std::optional<double> value);
    // The columns the current record is known by, as the table read them.
    Result<std::vector<AccessKnownBy>> knownBy() const;

    AccessSaving& m_saving;
    AccessTable& m_table;
    bool m_editing = false;
    std::vector<std::string> m_columns;
    std::vector<std::optional<double>> m_values; // nothing: made empty
};

} // namespace tarvex
