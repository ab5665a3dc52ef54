// SqliteTable: the SQLite engine's side of a Recordset. The records of one
// table are read through SELECTs that follow the chosen index's columns,
// collations and directions (so SQLite reads the index in order instead of
// sorting), equal keys and a walk without an index in row id order; a record
// is saved by an UPDATE of its row id that only matches while every opened
// field still holds what was read.
#pragma once

#include "platform/db/DatabaseEngine.h"
#include "platform/sqlite/SqliteStatement.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace tarvex {

// A named index as SQLite defines it, with what a query needs to follow it.
struct SqliteIndex {
    struct Column {
        std::string name;
        std::string collation;
        bool descending = false;
    };
    std::string name; // the file's own spelling
    bool unique = false;
    std::vector<Column> columns;
};

// The index of table (the file's spelling) named index, letter case ignored.
// Fails (NotFound) when the table has no such index, or when the index is
// partial, on an expression or has no columns.
Result<SqliteIndex> readSqliteIndex(sqlite3* db, const std::string& table, const std::string& index);

// A stored real number as SQLite writes it as text ("5.0").
std::string sqliteRealText(double value);

class SqliteTable : public EngineTable {
public:
    // table and columns as the file spells them; rowIdName is the name the
    // table's row id goes by in SQL: rowid, or _rowid_ or oid when a column
    // of the table takes that name. db outlives the table.
    SqliteTable(sqlite3* db, std::string table, std::string rowIdName, std::vector<std::string> columns);

    const std::string& tableName() const override { return m_table; }
    Status setIndex(const std::string& index) override;
    Result<std::optional<std::string>> repeatedKey() override;
    Status moveFirst() override;
    Status moveNext() override;
    Status seek(const Key& key) override;
    bool hasRecord() const override { return m_hasRecord; }
    const FieldValue* currentField(const std::string& column, std::string& error) const override;
    RealText realText() const override { return sqliteRealText; }
    std::int64_t recordId() const override { return m_rowId; }
    Status edit() override;
    Status setNumber(const std::string& column, double value) override;
    Status setEmpty(const std::string& column) override;
    Status update() override;

private:
    int columnIndex(const std::string& column) const;
    std::string selectList() const;
    // " AND column IS ?n" for each opened column, numbered from
    // firstParameter: true while the record holds what was read.
    std::string unchangedCondition(int firstParameter) const;
    // The index's columns from fromColumn on, then the row id.
    std::string orderBy(std::size_t fromColumn = 0) const;
    // Makes current the first record whose key is any of keys.
    Status seekAny(const std::vector<std::string>& keys);
    Status fetch(sqlite3_stmt* stmt, int rc);
    std::string recordName() const;
    Status failure(const std::string& what) const;
    static void bindField(sqlite3_stmt* stmt, int parameter, const FieldValue& value);
    // Why a save changed no record: the record is gone or another program
    // changed it (Changed), or it still holds what was read and the database
    // ignored the change.
    Status unsaved() const;

    sqlite3* m_db = nullptr;
    std::string m_table;
    std::string m_rowIdName;
    std::vector<std::string> m_columns;
    SqliteIndex m_index;
    SqliteStatement m_walk;
    SqliteStatement m_seek;
    // The last save's statement and the columns it sets, in order: an apply
    // saves the same columns record after record, and a statement prepared
    // once spares the parse of each save.
    SqliteStatement m_save;
    std::vector<int> m_saveColumns;
    bool m_hasRecord = false;
    std::int64_t m_rowId = 0;
    std::vector<FieldValue> m_values;
    bool m_editing = false;
    // The columns to save and their new values; empty for an empty field.
    std::vector<std::pair<int, std::optional<double>>> m_pending;
};

} // namespace tarvex
