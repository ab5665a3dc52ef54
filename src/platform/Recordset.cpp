// Walking, seeking, reading and saving the records of one table through a
// named index.
#include "platform/Recordset.h"

#include "platform/Database.h"
#include "platform/SqlText.h"

#include <sqlite3.h>

#include <cmath>

namespace tarvex {

void Recordset::StatementCloser::operator()(sqlite3_stmt* stmt) const
{
    sqlite3_finalize(stmt);
}

Recordset::Recordset(sqlite3* db, std::string table, std::string rowIdName, std::vector<Column> columns)
    : m_db(db)
    , m_table(std::move(table))
    , m_rowIdName(std::move(rowIdName))
    , m_columns(std::move(columns))
{
}

Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;
Recordset::~Recordset() = default;

Status Recordset::setIndex(const std::string& index)
{
    sqlite3_stmt* raw = nullptr;
    const char* listSql = "SELECT name, \"unique\", partial FROM pragma_index_list(?1)";
    if (sqlite3_prepare_v2(m_db, listSql, -1, &raw, nullptr) != SQLITE_OK)
        return Status::failure(sqliteError(m_db));
    Statement list(raw);
    sqlite3_bind_text(raw, 1, m_table.c_str(), -1, SQLITE_TRANSIENT);
    std::string found;
    bool unique = false;
    bool partial = false;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        std::string name = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        if (sameName(name, index)) {
            found = name;
            unique = sqlite3_column_int(raw, 1) != 0;
            partial = sqlite3_column_int(raw, 2) != 0;
            break;
        }
    }
    if (found.empty())
        return Status::failure("table \"" + m_table + "\" has no index \"" + index + "\"");
    // A partial index holds only the records its WHERE clause picks: a seek
    // through it would miss the others, and the engine cannot use it for a
    // seek that lacks that clause, so every seek would read the whole table.
    if (partial)
        return Status::failure("index \"" + found + "\" of table \"" + m_table +
                               "\" is partial: its WHERE clause leaves records out of it");

    const char* infoSql = "SELECT cid, name, desc, coll FROM pragma_index_xinfo(?1) WHERE key ORDER BY seqno";
    if (sqlite3_prepare_v2(m_db, infoSql, -1, &raw, nullptr) != SQLITE_OK)
        return Status::failure(sqliteError(m_db));
    Statement info(raw);
    sqlite3_bind_text(raw, 1, found.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<IndexColumn> columns;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        if (sqlite3_column_int(raw, 0) < 0)
            return Status::failure("index \"" + found + "\" of table \"" + m_table + "\" is on an expression");
        const unsigned char* coll = sqlite3_column_text(raw, 3);
        columns.push_back({reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)),
                           coll ? reinterpret_cast<const char*>(coll) : "BINARY", sqlite3_column_int(raw, 2) != 0});
    }
    if (columns.empty())
        return Status::failure("index \"" + found + "\" of table \"" + m_table + "\" has no columns");

    m_index = found;
    m_indexColumns = std::move(columns);
    m_indexUnique = unique;
    m_walk.reset();
    m_seek.reset();
    m_hasRecord = false;
    return Status::success();
}

Result<std::optional<std::string>> Recordset::repeatedKey()
{
    using R = Result<std::optional<std::string>>;
    if (m_indexColumns.empty())
        return R::failure("table \"" + m_table + "\": no index chosen");
    if (m_indexUnique && m_indexColumns.size() == 1)
        return std::optional<std::string>();
    // Grouped under the index's collation, the way a seek compares keys; the
    // index serves the grouping, so this reads the index once.
    const IndexColumn& first = m_indexColumns.front();
    std::string key = quoteIdentifier(first.name) + " COLLATE " + quoteIdentifier(first.collation);
    std::string sql = "SELECT " + key + " FROM " + quoteIdentifier(m_table) + " WHERE " + key +
                      " IS NOT NULL GROUP BY " + key + " HAVING count(*) > 1 LIMIT 1";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return R::failure("reading table \"" + m_table + "\": " + sqliteError(m_db));
    Statement stmt(raw);
    int rc = sqlite3_step(raw);
    if (rc == SQLITE_DONE)
        return std::optional<std::string>();
    if (rc != SQLITE_ROW)
        return R::failure("reading table \"" + m_table + "\": " + sqliteError(m_db));
    const unsigned char* text = sqlite3_column_text(raw, 0);
    return std::optional<std::string>(text ? reinterpret_cast<const char*>(text) : "");
}

std::string Recordset::selectList() const
{
    std::string list = m_rowIdName;
    for (const Column& column : m_columns)
        list += ", " + quoteIdentifier(column.name);
    return list;
}

std::string Recordset::orderBy() const
{
    // Ordering by exactly the index's columns, collations and directions lets
    // SQLite read the index in order instead of sorting; rowid breaks ties the
    // way the index itself does.
    std::string order;
    for (const IndexColumn& column : m_indexColumns) {
        order += quoteIdentifier(column.name) + " COLLATE " + quoteIdentifier(column.collation);
        order += column.descending ? " DESC, " : ", ";
    }
    return order + m_rowIdName;
}

Status Recordset::fetch(sqlite3_stmt* stmt, int rc)
{
    m_hasRecord = false;
    m_editing = false;
    m_pending.clear();
    if (rc == SQLITE_DONE)
        return Status::success();
    if (rc != SQLITE_ROW)
        return Status::failure("reading table \"" + m_table + "\": " + sqliteError(m_db));
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

Status Recordset::moveFirst()
{
    m_seek.reset();
    if (m_indexColumns.empty())
        return Status::failure("table \"" + m_table + "\": no index chosen");
    if (!m_walk) {
        std::string sql = "SELECT " + selectList() + " FROM " + quoteIdentifier(m_table) + " ORDER BY " + orderBy();
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            m_hasRecord = false;
            return Status::failure("reading table \"" + m_table + "\": " + sqliteError(m_db));
        }
        m_walk.reset(raw);
    }
    sqlite3_reset(m_walk.get());
    return moveNext();
}

Status Recordset::moveNext()
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

Status Recordset::seek(const Key& key)
{
    m_walk.reset();
    if (m_indexColumns.empty()) {
        m_hasRecord = false;
        return Status::failure("table \"" + m_table + "\": no index chosen");
    }
    if (!m_seek) {
        const IndexColumn& first = m_indexColumns.front();
        // The comparison carries the index's own collation: with any other the
        // index cannot serve it and every seek would scan the whole table.
        std::string sql = "SELECT " + selectList() + " FROM " + quoteIdentifier(m_table) + " WHERE " +
                          quoteIdentifier(first.name) + " COLLATE " + quoteIdentifier(first.collation) +
                          " = ?1 ORDER BY " + orderBy() + " LIMIT 1";
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            m_hasRecord = false;
            return Status::failure("searching table \"" + m_table + "\": " + sqliteError(m_db));
        }
        m_seek.reset(raw);
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

void Recordset::bindField(sqlite3_stmt* stmt, int parameter, const FieldValue& value)
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

std::string Recordset::unchangedCondition(int firstParameter) const
{
    std::string condition;
    for (const Column& column : m_columns)
        condition += " AND " + quoteIdentifier(column.name) + " IS ?" + std::to_string(firstParameter++);
    return condition;
}

std::string Recordset::unsavedReason() const
{
    // One read tells both whether the record is there and whether it still
    // holds what was read, by the same comparison the save made.
    std::string sql =
        "SELECT 1" + unchangedCondition(2) + " FROM " + quoteIdentifier(m_table) + " WHERE " + m_rowIdName + " = ?1";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return "the record could not be read again: " + sqliteError(m_db);
    Statement stmt(raw);
    sqlite3_bind_int64(raw, 1, m_rowId);
    int parameter = 1;
    for (const FieldValue& value : m_values)
        bindField(raw, ++parameter, value);
    int rc = sqlite3_step(raw);
    if (rc == SQLITE_DONE)
        return "the record no longer exists";
    if (rc != SQLITE_ROW)
        return "the record could not be read again: " + sqliteError(m_db);
    if (sqlite3_column_int(raw, 0) == 0)
        return "another program changed the record after it was read";
    return "the database ignored the change (a trigger in the file skipped it); the record is as it was";
}

int Recordset::columnIndex(const std::string& column) const
{
    // Fields are read by name for every record of a long walk: the name as
    // the file spells it is tried first, letter case ignored only after.
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name == column)
            return static_cast<int>(i);
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (sameName(m_columns[i].name, column))
            return static_cast<int>(i);
    return -1;
}

std::string Recordset::recordName() const
{
    return "table \"" + m_table + "\", record " + std::to_string(m_rowId);
}

const FieldValue* Recordset::currentField(const std::string& column, std::string& error) const
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

Result<FieldValue> Recordset::field(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<FieldValue>::failure(error);
    return *value;
}

Result<std::optional<double>> Recordset::number(const std::string& column) const
{
    using R = Result<std::optional<double>>;
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return R::failure(error);
    switch (value->type) {
    case FieldValue::Type::Null:
        return std::optional<double>();
    case FieldValue::Type::Integer:
        return std::optional<double>(static_cast<double>(value->integer));
    case FieldValue::Type::Real:
        if (std::isfinite(value->real))
            return std::optional<double>(value->real);
        return R::failure(recordName() + ": \"" + column + "\" is not a finite number");
    case FieldValue::Type::Text:
        return R::failure(recordName() + ": \"" + column + "\" holds text, not a number");
    case FieldValue::Type::Blob:
        return R::failure(recordName() + ": \"" + column + "\" holds binary data, not a number");
    }
    return R::failure(recordName() + ": unreadable \"" + column + "\"");
}

Result<std::optional<std::int64_t>> Recordset::integer(const std::string& column) const
{
    using R = Result<std::optional<std::int64_t>>;
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return R::failure(error);
    switch (value->type) {
    case FieldValue::Type::Null:
        return std::optional<std::int64_t>();
    case FieldValue::Type::Integer:
        return std::optional<std::int64_t>(value->integer);
    case FieldValue::Type::Real:
        if (std::isfinite(value->real) && value->real == std::trunc(value->real) && std::fabs(value->real) < 9.0e18)
            return std::optional<std::int64_t>(static_cast<std::int64_t>(value->real));
        return R::failure(recordName() + ": \"" + column + "\" is not a whole number");
    default:
        return R::failure(recordName() + ": \"" + column + "\" is not a whole number");
    }
}

Result<std::optional<std::string>> Recordset::text(const std::string& column) const
{
    using R = Result<std::optional<std::string>>;
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return R::failure(error);
    switch (value->type) {
    case FieldValue::Type::Null:
        return std::optional<std::string>();
    case FieldValue::Type::Integer:
        return std::optional<std::string>(std::to_string(value->integer));
    case FieldValue::Type::Real: {
        char buffer[64];
        sqlite3_snprintf(sizeof buffer, buffer, "%!.15g", value->real);
        return std::optional<std::string>(buffer);
    }
    case FieldValue::Type::Text:
        return std::optional<std::string>(value->bytes);
    case FieldValue::Type::Blob:
        return R::failure(recordName() + ": \"" + column + "\" holds binary data, not text");
    }
    return R::failure(recordName() + ": unreadable \"" + column + "\"");
}

Status Recordset::edit()
{
    if (!m_hasRecord)
        return Status::failure("table \"" + m_table + "\": no current record to change");
    m_editing = true;
    m_pending.clear();
    return Status::success();
}

Status Recordset::setNumber(const std::string& column, double value)
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

Status Recordset::update()
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
    std::string sql = "UPDATE " + quoteIdentifier(m_table) + " SET ";
    int parameter = 0;
    for (size_t i = 0; i < m_pending.size(); ++i)
        sql += (i ? ", " : "") + quoteIdentifier(m_columns[static_cast<size_t>(m_pending[i].first)].name) + " = ?" +
               std::to_string(++parameter);
    sql += " WHERE " + m_rowIdName + " = ?" + std::to_string(++parameter);
    sql += unchangedCondition(parameter + 1);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        m_pending.clear();
        return Status::failure(recordName() + ": cannot save: " + sqliteError(m_db));
    }
    Statement stmt(raw);
    parameter = 0;
    for (size_t i = 0; i < m_pending.size(); ++i)
        sqlite3_bind_double(raw, ++parameter, m_pending[i].second);
    sqlite3_bind_int64(raw, ++parameter, m_rowId);
    for (const FieldValue& value : m_values)
        bindField(raw, ++parameter, value);
    int rc = sqlite3_step(raw);
    if (rc != SQLITE_DONE) {
        m_pending.clear();
        return Status::failure(recordName() + ": cannot save: " + sqliteError(m_db));
    }
    if (sqlite3_changes(m_db) != 1) {
        m_pending.clear();
        return Status::failure(recordName() + ": cannot save: " + unsavedReason());
    }
    for (const auto& [i, value] : m_pending) {
        FieldValue& field = m_values[static_cast<size_t>(i)];
        field = FieldValue{};
        field.type = FieldValue::Type::Real;
        field.real = value;
    }
    m_pending.clear();
    return Status::success();
}

} // namespace tarvex
