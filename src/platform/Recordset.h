// Recordset: one table of an open Database, seen as the original engine's
// table-type recordset. A named index is chosen; the records are then walked
// in that index's order (equal keys in the order they were stored) or found by
// an exact-match seek on the index's first column, which lands on the first
// record in that order. Without a chosen index a walk follows the order the
// records are stored in. The current record's fields are read by column name;
// a record is changed by edit(), setNumber() and update(), which saves that
// one record in its own transaction.
//
// Every operation reports failure through its result; nothing throws.
#pragma once

#include "platform/db/DatabaseEngine.h"
#include "platform/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarvex {

class Recordset {
public:
    explicit Recordset(std::unique_ptr<EngineTable> table);
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;
    ~Recordset();

    const std::string& tableName() const { return m_table->tableName(); }

    // Chooses the index that walking and seeking follow. Fails when the table
    // has no index of that name, or the index is on an expression or partial
    // (with a WHERE clause): a walk and a seek must see every record, in an
    // order and by a key the index itself holds.
    Status setIndex(const std::string& index) { return m_table->setIndex(index); }
    // A value of the current index's first column that more than one record
    // holds (as text, for messages); nothing when every record can be told by
    // it alone, as a unique index on that one column ensures. Empty values
    // are not counted: a seek never looks for one.
    Result<std::optional<std::string>> repeatedKey() { return m_table->repeatedKey(); }

    // Walks the table in the current index's order (stored order when none
    // was chosen). After moveFirst() or moveNext(), eof() tells whether a
    // record is current.
    Status moveFirst() { return m_table->moveFirst(); }
    Status moveNext() { return m_table->moveNext(); }
    bool eof() const { return !m_table->hasRecord(); }

    // Finds the first record, in index order, whose first index column equals
    // key under the index's collation. noMatch() then tells whether one was
    // found; a failed seek leaves no current record. Letter case counts as
    // Access's indexes count it (LetterCase.h), in an SQLite file through a
    // NOCASE index too: there the first of records whose keys differ only
    // beyond ASCII is the first by the index's other columns and row id.
    Status seek(const Key& key) { return m_table->seek(key); }
    bool noMatch() const { return !m_table->hasRecord(); }

    // The current record's field. Fails when there is no current record or the
    // column was not opened.
    Result<FieldValue> field(const std::string& column) const;
    // A field as a number: empty gives nothing; text, a blob, a date, NaN or
    // an infinity is a read error that names the table, column and record.
    Result<std::optional<double>> number(const std::string& column) const;
    // Whether the column stores dates (an Access Date/Time column): its
    // values are day counts, never amounts. An SQLite file has no such type.
    bool holdsDates(const std::string& column) const { return m_table->holdsDates(column); }
    // A field as a whole number: empty gives nothing; anything else that is
    // not a whole number is a read error.
    Result<std::optional<std::int64_t>> integer(const std::string& column) const;
    // A field as text: empty gives nothing; a real number as the file's own
    // engine shows it (SQLite "5.0", Access "5"); see FieldReading.h.
    Result<std::optional<std::string>> text(const std::string& column) const;
    // The current record's number within the table, 0 when none.
    std::int64_t rowId() const { return m_table->recordId(); }
    // Whether fields read what the file held when the table was read (and
    // what this Recordset's own saves left), as an Access file is read; an
    // SQLite table reads the file as it is at each read. Either way update()
    // finds another program's change to the fields it writes.
    bool readsAsLoaded() const { return m_table->readsAsLoaded(); }
    // "table "T", record N", naming the current record in messages.
    std::string recordName() const;

    // Starts changing the current record; setNumber() records new values and
    // update() writes them to this one record in its own transaction, durable
    // when it returns (an Access file's when Database::flushSaves() or the
    // next update() succeeds: the write is on its way meanwhile). update()
    // fails when the record no longer exists or another program has changed
    // one of its opened fields since it was read (kind Changed; that change
    // is kept), when the database ignored the change (a trigger of the file's
    // own skipped it), or when the file is read-only, its folder cannot take
    // the journal, or it is locked past the busy timeout (ReadOnly, Busy,
    // Io...); the record is then left as it was.
    Status edit() { return m_table->edit(); }
    Status setNumber(const std::string& column, double value) { return m_table->setNumber(column, value); }
    // Records that the field is to be empty, as setNumber() records a value.
    Status setEmpty(const std::string& column) { return m_table->setEmpty(column); }
    Status update() { return m_table->update(); }
    // The number column would hold after setNumber(column, value) and
    // update(), as number() would then read it: value itself, except where
    // the column rounds (an Access Currency column to four decimals, ties to
    // even; a Single to the nearest float). value itself as well when the
    // column cannot hold it: the save then refuses it.
    double storedNumber(const std::string& column, double value) const { return m_table->storedNumber(column, value); }

private:
    std::unique_ptr<EngineTable> m_table;
};

} // namespace tarvex
