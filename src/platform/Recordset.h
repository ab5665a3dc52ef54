// Recordset: one table of an open Database, seen as the original engine's
// table-type recordset. A named index is chosen; the records are then walked
// in that index's order (equal keys in rowid order) or found by an exact-match
// seek on the index's first column, which lands on the first record in that
// order. The current record's fields are read by column name; a record is
// changed by edit(), setNumber() and update(), which saves that one record in
// its own transaction.
//
// Every operation reports failure through its result; nothing throws.
#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tarvex {

// A seek key: a number for integer keys, a text for text keys.
using Key = std::variant<std::int64_t, std::string>;

// One field of the current record as it is stored.
struct FieldValue {
    enum class Type { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes; // the text or the blob
};

class Recordset {
public:
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;
    ~Recordset();

    const std::string& tableName() const { return m_table; }

    // Chooses the index that walking and seeking follow. Fails when the table
    // has no index of that name, or the index is on an expression or partial
    // (with a WHERE clause): a walk and a seek must see every record, in an
    // order and by a key the index itself holds.
    Status setIndex(const std::string& index);
    // A value of the current index's first column that more than one record
    // holds (as text, for messages); nothing when every record can be told by
    // it alone, as a unique index on that one column ensures. Empty values
    // are not counted: a seek never looks for one.
    Result<std::optional<std::string>> repeatedKey();

    // Walks the table in the current index's order. After moveFirst() or
    // moveNext(), eof() tells whether a record is current.
    Status moveFirst();
    Status moveNext();
    bool eof() const { return !m_hasRecord; }

    // Finds the first record, in index order, whose first index column equals
    // key under the index's collation. noMatch() then tells whether one was
    // found; a failed seek leaves no current record.
    Status seek(const Key& key);
    bool noMatch() const { return !m_hasRecord; }

    // The current record's field. Fails when there is no current record or the
    // column was not opened.
    Result<FieldValue> field(const std::string& column) const;
    // A field as a number: empty gives nothing; text, a blob, NaN or an
    // infinity is a read error that names the table, column and record.
    Result<std::optional<double>> number(const std::string& column) const;
    // A field as a whole number: empty gives nothing; anything else that is
    // not a whole number is a read error.
    Result<std::optional<std::int64_t>> integer(const std::string& column) const;
    // A field as text: empty gives nothing; numbers in their stored text form.
    Result<std::optional<std::string>> text(const std::string& column) const;
    // The current record's rowid, 0 when none.
    std::int64_t rowId() const { return m_rowId; }
    // The name the table's row id goes by in SQL: rowid, or _rowid_ or oid
    // when a column of the table takes that name.
    const std::string& rowIdName() const { return m_rowIdName; }

    // Starts changing the current record; setNumber() records new values and
    // update() writes them to this one record in its own transaction, durable
    // when it returns. update() fails when the record no longer exists, when
    // another program has changed one of its opened fields since it was read
    // (that change is kept), when the database ignored the change (a trigger
    // of the file's own skipped it), or when the file is read-only or locked
    // past the busy timeout; the record is then left as it was.
    Status edit();
    Status setNumber(const std::string& column, double value);
    Status update();

private:
    friend class Database;
    struct Column {
        std::string name; // the file's own spelling
    };
    struct IndexColumn {
        std::string name;
        std::string collation;
        bool descending = false;
    };
    struct StatementCloser {
        void operator()(sqlite3_stmt* stmt) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

    Recordset(sqlite3* db, std::string table, std::string rowIdName, std::vector<Column> columns);
    int columnIndex(const std::string& column) const;
    // The current record's field without a copy; null, with error set, when
    // there is no current record or the column was not opened.
    const FieldValue* currentField(const std::string& column, std::string& error) const;
    std::string selectList() const;
    // " AND column IS ?n" for each opened column, numbered from
    // firstParameter: true while the record holds what was read.
    std::string unchangedCondition(int firstParameter) const;
    std::string orderBy() const;
    Status fetch(sqlite3_stmt* stmt, int rc);
    std::string recordName() const;
    static void bindField(sqlite3_stmt* stmt, int parameter, const FieldValue& value);
    // Why a save changed no record: the record is gone, or another program
    // changed it, or it still holds what was read and the database ignored
    // the change.
    std::string unsavedReason() const;

    sqlite3* m_db = nullptr;
    std::string m_table;
    std::string m_rowIdName;
    std::vector<Column> m_columns;
    std::string m_index;
    std::vector<IndexColumn> m_indexColumns;
    bool m_indexUnique = false;
    Statement m_walk;
    Statement m_seek;
    bool m_hasRecord = false;
    std::int64_t m_rowId = 0;
    std::vector<FieldValue> m_values;
    bool m_editing = false;
    std::vector<std::pair<int, double>> m_pending;
};

} // namespace tarvex
