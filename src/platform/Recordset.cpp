// A Recordset's fields read by the one rule of FieldReading; the rest of a
// Recordset is its engine's.
#include "platform/Recordset.h"

#include "platform/db/FieldReading.h"

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
    std::string error;
    auto name = [this] { return recordName(); };
    if (const FieldValue* value = m_table->currentField(column, error))
        return fieldAsNumber(*value, name, column, m_table->holdsDates(column));
    return Status::failure(error);
}

Result<std::optional<std::int64_t>> Recordset::integer(const std::string& column) const
{
    std::string error;
    auto name = [this] { return recordName(); };
    if (const FieldValue* value = m_table->currentField(column, error))
        return fieldAsInteger(*value, name, column);
    return Status::failure(error);
}

Result<std::optional<std::string>> Recordset::text(const std::string& column) const
{
    std::string error;
    auto name = [this] { return recordName(); };
    if (const FieldValue* value = m_table->currentField(column, error))
        return fieldAsText(*value, name, column, m_table->realText());
    return Status::failure(error);
}

} // namespace tarvex
