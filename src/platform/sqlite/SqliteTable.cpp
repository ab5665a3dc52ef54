// Walking, seeking, reading and saving the records of one SQLite table
// through a named index.
#include "platform/sqlite/SqliteTable.h"

#include "platform/sqlite/SqlText.h"
#include "platform/text/LetterCase.h"
#include "platform/text/TextHelpers.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

namespace tarvex {

namespace {

// The most case forms of one code a seek looks up (six letters with two
// forms each); see caseFormsBeyondAscii for a code with more.
constexpr std::size_t kMaxCaseForms = 64;

} // namespace

Result<SqliteIndex> readSqliteIndex(sqlite3* db, const std::string& table, const std::string& index)
{
    using R = Result<SqliteIndex>;
    SqliteStatement list = prepareStatement(db, "SELECT name, \"unique\", partial FROM pragma_index_list(?1)");
    if (!list)
        return R::failure(sqliteError(db), sqliteErrorKind(sqlite3_errcode(db)));
    sqlite3_bind_text(list.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    SqliteIndex found;
    bool partial = false;
    while (sqlite3_step(list.get()) == SQLITE_ROW) {
        std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0));
        if (sameIgnoringCase(name, index)) {
            found.name = name;
            found.unique = sqlite3_column_int(list.get(), 1) != 0;
            partial = sqlite3_column_int(list.get(), 2) != 0;
            break;
        }
    }
    if (found.name.empty())
        return R::failure("table \"" + table + "\" has no index \"" + index + "\"", ErrorKind::NotFound);
    // A partial index holds only the records its WHERE clause picks: a seek
    // through it would miss the others, and the engine cannot use it for a
    // seek that lacks that clause, so every seek would read the whole table.
    if (partial)
        return R::failure("index \"" + found.name + "\" of table \"" + table +
                          "\" is partial: its WHERE clause leaves records out of it");

    SqliteStatement info =
        prepareStatement(db, "SELECT cid, name, desc, coll FROM pragma_index_xinfo(?1) WHERE key ORDER BY seqno");
    if (!info)
        return R::failure(sqliteError(db), sqliteErrorKind(sqlite3_errcode(db)));
    sqlite3_stmt* raw = info.get();
    sqlite3_bind_text(raw, 1, found.name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(raw) == SQLITE_ROW) {
        if (sqlite3_column_int(raw, 0) < 0)
            return R::failure("index \"" + found.name + "\" of table \"" + table + "\" is on an expression");
        const unsigned char* coll = sqlite3_column_text(raw, 3);
        found.columns.push_back({reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)),
                                 coll ? reinterpret_cast<const char*>(coll) : "BINARY",
                                 sqlite3_column_int(raw, 2) != 0});
    }
    if (found.columns.empty())
        return R::failure("index \"" + found.name + "\" of table \"" + table + "\" has no columns");
    return found;
}

SqliteTable::SqliteTable(sqlite3* db, std::string table, std::string rowIdName, std::vector<std::string> columns)
    : m_db(db)
    , m_table(std::move(table))
    , m_rowIdName(std::move(rowIdName))
    , m_columns(std::move(columns))
{
}

Status SqliteTable::failure(const std::string& what) const
{
    return Status::failure(what + ": " + sqliteError(m_db), sqliteErrorKind(sqlite3_errcode(m_db)));
}

Status SqliteTable::setIndex(const std::string& index)
{
    Result<SqliteIndex> found = readSqliteIndex(m_db, m_table, index);
    if (!found)
        return found.status();
    m_index = std::move(*found);
    m_walk.reset();
    m_seek.reset();
    m_hasRecord = false;
    return Status::success();
}

Result<std::optional<std::string>> SqliteTable::repeatedKey()
{
    using R = Result<std::optional<std::string>>;
    if (m_index.columns.empty())
        return R::failure("table \"" + m_table + "\": no index chosen");
    if (m_index.unique && m_index.columns.size() == 1)
        return std::optional<std::string>();
    // Grouped under the index's collation, the way a seek compares keys; the
    // index serves the grouping, so this reads the index once.
    const SqliteIndex::Column& first = m_index.columns.front();
    std::string key = quoteIdentifier(first.name) + " COLLATE " + quoteIdentifier(first.collation);
    SqliteStatement stmt =
        prepareStatement(m_db, "SELECT " + key + " FROM " + quoteIdentifier(m_table) + " WHERE " + key +
                                   " IS NOT NULL GROUP BY " + key + " HAVING count(*) > 1 LIMIT 1");
    if (!stmt)
        return failure("reading table \"" + m_table + "\"");
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE)
        return std::optional<std::string>();
    if (rc != SQLITE_ROW)
        return failure("reading table \"" + m_table + "\"");
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return std::optional<std::string>(text ? reinterpret_cast<const char*>(text) : "");
}

std::string SqliteTable::selectList() const
{
    std::string list = m_rowIdName;
    for (const std::string& column : m_columns)
        list += ", " + quoteIdentifier(column);
    return list;
}

std::string SqliteTable::orderBy(std::size_t fromColumn) const
{
    // Ordering by exactly the index's columns, collations and directions lets
    // SQLite read the index in order instead of sorting; rowid breaks ties the
    // way the index itself does.
    std::string order;
    for (std::size_t c = fromColumn; c < m_index.columns.size(); ++c) {
        const SqliteIndex::Column& column = m_index.columns[c];
        order += quoteIdentifier(column.name) + " COLLATE " + quoteIdentifier(column.collation);
        order += column.descending ? " DESC, " : ", ";
    }
    return order + m_rowIdName;
}

Status SqliteTable::fetch(sqlite3_stmt* stmt, int rc)
{
    m_hasRecord = false;
    m_editing = false;
    m_pending.clear();
    if (rc == SQLITE_DONE)
        return Status::success();
    if (rc != SQLITE_ROW)
        return failure("reading table \"" + m_table + "\"");
    m_rowId = sqlite3_column_int64(stmt, 0);
    m_values.resize(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        int col = static_cast<int>(i) + 1;
        FieldValue& value = m_values[i];
        value.bytes.clear();
        switch (sqlite3_column_type(stmt, col)) {
        case SQLITE_INTEGER:
            value.type = FieldValue::Type::Integer;
            value.integer = sqlite3_column_int64(stmt, col);
            break;
        case SQLITE_FLOAT:
            value.type = FieldValue::Type::Real;
            value.real = sqlite3_column_double(stmt, col);
            break;
        case SQLITE_TEXT:
            value.type = FieldValue::Type::Text;
            value.bytes.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, col)),
                               static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
            break;
        case SQLITE_BLOB: {
            value.type = FieldValue::Type::Blob;
            const void* blob = sqlite3_column_blob(stmt, col);
            int size = sqlite3_column_bytes(stmt, col);
            if (blob && size > 0)
                value.bytes.assign(static_cast<const char*>(blob), static_cast<size_t>(size));
            break;
        }
        default:
            value.type = FieldValue::Type::Null;
        }
    }
    m_hasRecord = true;
    return Status::success();
}

Status SqliteTable::moveFirst()
{
    m_seek.reset();
    if (!m_walk) {
        std::string sql = "SELECT " + selectList() + " FROM " + quoteIdentifier(m_table) + " ORDER BY " + orderBy();
        m_walk = prepareStatement(m_db, sql);
        if (!m_walk) {
            m_hasRecord = false;
            return failure("reading table \"" + m_table + "\"");
        }
    }
    sqlite3_reset(m_walk.get());
    return moveNext();
}

Status SqliteTable::moveNext()
{
    if (!m_walk) {
        m_hasRecord = false;
        return Status::failure("table \"" + m_table + "\": not being walked");
    }
    Status status = fetch(m_walk.get(), sqlite3_step(m_walk.get()));
    // Reset at the end so that the finished walk does not hold a read lock.
    if (!m_hasRecord)
        sqlite3_reset(m_walk.get());
    return status;
}

Status SqliteTable::seek(const Key& key)
{
    m_walk.reset();
    if (m_index.columns.empty()) {
        m_hasRecord = false;
        return Status::failure("table \"" + m_table + "\": no index chosen");
    }
    const SqliteIndex::Column& first = m_index.columns.front();
    // NOCASE ignores the case of ASCII letters alone, Access that of more
    // letters (see LetterCase.h): a code holding such letters is looked up
    // in each of its case forms, each through the index.
    const auto* text = std::get_if<std::string>(&key);
    if (text && sameIgnoringCase(first.collation, "NOCASE") &&
        std::any_of(text->begin(), text->end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        std::vector<std::string> forms = caseFormsBeyondAscii(*text, kMaxCaseForms);
        if (forms.size() > 1)
            return seekAny(forms);
    }
    if (!m_seek) {
        // The comparison carries the index's own collation: with any other the
        // index cannot serve it and every seek would scan the whole table.
        std::string sql = "SELECT " + selectList() + " FROM " + quoteIdentifier(m_table) + " WHERE " +
                          quoteIdentifier(first.name) + " COLLATE " + quoteIdentifier(first.collation) +
                          " = ?1 ORDER BY " + orderBy() + " LIMIT 1";
        m_seek = prepareStatement(m_db, sql);
        if (!m_seek) {
            m_hasRecord = false;
            return failure("searching table \"" + m_table + "\"");
        }
    }
    // The statement was reset at the end of the previous seek.
    sqlite3_stmt* stmt = m_seek.get();
    if (const auto* number = std::get_if<std::int64_t>(&key))
        sqlite3_bind_int64(stmt, 1, *number);
    else {
        const std::string& text = std::get<std::string>(key);
        // Not copied: the key outlives the step, and the statement is reset
        // before this returns.
        sqlite3_bind_text(stmt, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    Status status = fetch(stmt, sqlite3_step(stmt));
    sqlite3_reset(stmt);
    return status;
}

Status SqliteTable::seekAny(const std::vector<std::string>& keys)
{
    // Of the records found, the first by the index's other columns and then
    // the row id: Access holds the keys equal and orders such records the
    // same way, the one added first first.
    const SqliteIndex::Column& first = m_index.columns.front();
    std::string list;
    for (std::size_t i = 1; i <= keys.size(); ++i)
        list += (i > 1 ? ", ?" : "?") + std::to_string(i);
    SqliteStatement stmt =
        prepareStatement(m_db, "SELECT " + selectList() + " FROM " + quoteIdentifier(m_table) + " WHERE " +
                                   quoteIdentifier(first.name) + " COLLATE " + quoteIdentifier(first.collation) +
                                   " IN (" + list + ") ORDER BY " + orderBy(1) + " LIMIT 1");
    if (!stmt) {
        m_hasRecord = false;
        return failure("searching table \"" + m_table + "\"");
    }
    for (std::size_t i = 0; i < keys.size(); ++i)
        sqlite3_bind_text(stmt.get(), static_cast<int>(i + 1), keys[i].data(), static_cast<int>(keys[i].size()),
                          SQLITE_STATIC);
    // The statement ends here, and with it its read of the file.
    return fetch(stmt.get(), sqlite3_step(stmt.get()));
}

void SqliteTable::bindField(sqlite3_stmt* stmt, int parameter, const FieldValue& value)
{
    switch (value.type) {
    case FieldValue::Type::Null:
        sqlite3_bind_null(stmt, parameter);
        break;
    case FieldValue::Type::Integer:
        sqlite3_bind_int64(stmt, parameter, value.integer);
        break;
    case FieldValue::Type::Real:
        sqlite3_bind_double(stmt, parameter, value.real);
        break;
    case FieldValue::Type::Text:
        sqlite3_bind_text(stmt, parameter, value.bytes.data(), static_cast<int>(value.bytes.size()), SQLITE_STATIC);
        break;
    case FieldValue::Type::Blob:
        sqlite3_bind_blob(stmt, parameter, value.bytes.data(), static_cast<int>(value.bytes.size()), SQLITE_STATIC);
        break;
    }
}

std::string SqliteTable::unchangedCondition(int firstParameter) const
{
    std::string condition;
    for (const std::string& column : m_columns)
        condition += " AND " + quoteIdentifier(column) + " IS ?" + std::to_string(firstParameter++);
    return condition;
}

Status SqliteTable::unsaved() const
{
    // One read tells both whether the record is there and whether it still
    // holds what was read, by the same comparison the save made.
    SqliteStatement stmt = prepareStatement(m_db, "SELECT 1" + unchangedCondition(2) + " FROM " +
                                                      quoteIdentifier(m_table) + " WHERE " + m_rowIdName + " = ?1");
    if (!stmt)
        return failure("the record could not be read again");
    sqlite3_stmt* raw = stmt.get();
    sqlite3_bind_int64(raw, 1, m_rowId);
    int parameter = 1;
    for (const FieldValue& value : m_values)
        bindField(raw, ++parameter, value);
    int rc = sqlite3_step(raw);
    if (rc == SQLITE_DONE)
        return Status::failure("the record no longer exists", ErrorKind::Changed);
    if (rc != SQLITE_ROW)
        return failure("the record could not be read again");
    if (sqlite3_column_int(raw, 0) == 0)
        return Status::failure("another program changed the record after it was read", ErrorKind::Changed);
    return Status::failure("the database ignored the change (a trigger in the file skipped it); the record is as it "
                           "was");
}

int SqliteTable::columnIndex(const std::string& column) const
{
    // Fields are read by name for every record of a long walk: the name as
    // the file spells it is tried first, letter case ignored only after.
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i] == column)
            return static_cast<int>(i);
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (sameIgnoringCase(m_columns[i], column))
            return static_cast<int>(i);
    return -1;
}

std::string SqliteTable::recordName() const
{
    return "table \"" + m_table + "\", record " + std::to_string(m_rowId);
}

const FieldValue* SqliteTable::currentField(const std::string& column, std::string& error) const
{
    if (!m_hasRecord) {
        error = "table \"" + m_table + "\": no current record";
        return nullptr;
    }
    int i = columnIndex(column);
    if (i < 0) {
        error = "table \"" + m_table + "\": column \"" + column + "\" not opened";
        return nullptr;
    }
    return &m_values[static_cast<size_t>(i)];
}

std::string sqliteRealText(double value)
{
    // SQLite's own text form of a real, as CAST(x AS TEXT) gives it: 15
    // significant digits, always with a decimal point ("5.0").
    char buffer[64];
    sqlite3_snprintf(sizeof buffer, buffer, "%!.15g", value);
    return buffer;
}

Status SqliteTable::edit()
{
    if (!m_hasRecord)
        return Status::failure("table \"" + m_table + "\": no current record to change");
    m_editing = true;
    m_pending.clear();
    return Status::success();
}

Status SqliteTable::setNumber(const std::string& column, double value)
{
    if (!m_editing)
        return Status::failure(recordName() + ": not being changed");
    int i = columnIndex(column);
    if (i < 0)
        return Status::failure("table \"" + m_table + "\": column \"" + column + "\" not opened");
    if (!std::isfinite(value))
        return Status::failure(recordName() + ": refusing to store a value that is not a finite number");
    m_pending.emplace_back(i, value);
    return Status::success();
}

Status SqliteTable::setEmpty(const std::string& column)
{
    if (!m_editing)
        return Status::failure(recordName() + ": not being changed");
    int i = columnIndex(column);
    if (i < 0)
        return Status::failure("table \"" + m_table + "\": column \"" + column + "\" not opened");
    m_pending.emplace_back(i, std::nullopt);
    return Status::success();
}

Status SqliteTable::update()
{
    if (!m_editing)
        return Status::failure(recordName() + ": not being changed");
    m_editing = false;
    if (m_pending.empty())
        return Status::success();
    // The record is saved only while every opened field still holds what was
    // read: the decision to write was made from those values, and another
    // program may have changed the record since. Its change then stands and
    // this save fails, instead of one silently overwriting the other.
    std::vector<int> columns;
    for (const auto& pending : m_pending)
        columns.push_back(pending.first);
    if (!m_save || columns != m_saveColumns) {
        std::string sql = "UPDATE " + quoteIdentifier(m_table) + " SET ";
        int parameter = 0;
        for (size_t i = 0; i < columns.size(); ++i)
            sql += (i ? ", " : "") + quoteIdentifier(m_columns[static_cast<size_t>(columns[i])]) + " = ?" +
                   std::to_string(++parameter);
        sql += " WHERE " + m_rowIdName + " = ?" + std::to_string(++parameter);
        sql += unchangedCondition(parameter + 1);
        m_saveColumns.clear();
        m_save = prepareStatement(m_db, sql);
        if (!m_save) {
            m_pending.clear();
            return failure(recordName() + ": cannot save");
        }
        m_saveColumns = std::move(columns);
    }
    sqlite3_stmt* raw = m_save.get();
    // Reset after each save, so that it holds no lock between saves; the
    // values bound before are all bound again.
    struct ResetAfter {
        sqlite3_stmt* stmt;
        ~ResetAfter() { sqlite3_reset(stmt); }
    } resetAfter{raw};
    int parameter = 0;
    for (size_t i = 0; i < m_pending.size(); ++i) {
        ++parameter;
        if (m_pending[i].second)
            sqlite3_bind_double(raw, parameter, *m_pending[i].second);
        else
            sqlite3_bind_null(raw, parameter);
    }
    sqlite3_bind_int64(raw, ++parameter, m_rowId);
    for (const FieldValue& value : m_values)
        bindField(raw, ++parameter, value);
    if (sqlite3_step(raw) != SQLITE_DONE) {
        m_pending.clear();
        return failure(recordName() + ": cannot save");
    }
    if (sqlite3_changes(m_db) != 1) {
        m_pending.clear();
        Status why = unsaved();
        return Status::failure(recordName() + ": cannot save: " + why.error(), why.kind());
    }
    for (const auto& [i, value] : m_pending) {
        FieldValue& field = m_values[static_cast<size_t>(i)];
        field = FieldValue{};
        if (value) {
            field.type = FieldValue::Type::Real;
            field.real = *value;
        }
    }
    m_pending.clear();
    return Status::success();
}

} // namespace tarvex
