// Reading the current record's fields as numbers, whole numbers and texts, the
// same for every engine (a real number's text form is the engine's); the rest
// of a Recordset is its engine's.
#include "platform/Recordset.h"

#include <cmath>

namespace tarvex {

Recordset::Recordset(std::unique_ptr<EngineTable> table)
    : m_table(std::move(table))
{
}

Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;
Recordset::~Recordset() = default;

std::string Recordset::recordName() const
{
    return "table \"" + tableName() + "\", record " + std::to_string(rowId());
}

Result<FieldValue> Recordset::field(const std::string& column) const
{
    std::string error;
    const FieldValue* value = m_table->currentField(column, error);
    if (!value)
        return Result<FieldValue>::failure(error);
    return *value;
}

Result<std::optional<double>> Recordset::number(const std::string& column) const
{
    using R = Result<std::optional<double>>;
    std::string error;
    const FieldValue* value = m_table->currentField(column, error);
    if (!value)
        return R::failure(error);
    switch (value->type) {
    case FieldValue::Type::Null:
        return std::optional<double>();
    case FieldValue::Type::Integer:
        return std::optional<double>(static_cast<double>(value->integer));
    case FieldValue::Type::Real:
        // A date is stored as a number of days, which is no amount.
        if (m_table->holdsDates(column))
            return R::failure(recordName() + ": \"" + column + "\" holds a date (a Date/Time column), not a number");
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
    const FieldValue* value = m_table->currentField(column, error);
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
    const FieldValue* value = m_table->currentField(column, error);
    if (!value)
        return R::failure(error);
    switch (value->type) {
    case FieldValue::Type::Null:
        return std::optional<std::string>();
    case FieldValue::Type::Integer:
        return std::optional<std::string>(std::to_string(value->integer));
    case FieldValue::Type::Real:
        return std::optional<std::string>(m_table->realText(value->real));
    case FieldValue::Type::Text:
        return std::optional<std::string>(value->bytes);
    case FieldValue::Type::Blob:
        return R::failure(recordName() + ": \"" + column + "\" holds binary data, not text");
    }
    return R::failure(recordName() + ": unreadable \"" + column + "\"");
}

} // namespace tarvex
