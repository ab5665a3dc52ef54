// Changing one record of an opened Access table through AccessSaving.
#include "platform/access/AccessRecordEdit.h"

#include <cassert>

namespace tarvex {

AccessRecordEdit::AccessRecordEdit(AccessSaving& saving, AccessTable& table)
    : m_saving(saving)
    , m_table(table)
{
}

Status AccessRecordEdit::edit()
{
    if (m_table.eof())
        return Status::failure("table \"" + m_table.tableName() + "\": no current record to change");
    m_editing = true;
    m_columns.clear();
    m_values.clear();
    return Status::success();
}

Status AccessRecordEdit::setNumber(const std::string& column, double value)
{
    return set(column, value);
}

Status AccessRecordEdit::setEmpty(const std::string& column)
{
    return set(column, AccessAmount::empty());
}

Status AccessRecordEdit::set(const std::string& column, AccessAmount value)
{
    if (!m_editing)
        return Status::failure("table \"" + m_table.tableName() + "\": no record is being changed");
    // The field must be readable; its value is not needed, so not copied.
    if (std::string error; !m_table.currentField(column, error))
        return Status::failure(error);
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i] == column) {
            m_values[i] = value;
            return Status::success();
        }
    m_columns.push_back(column);
    m_values.push_back(value);
    return Status::success();
}

Status AccessRecordEdit::update()
{
    if (!m_editing)
        return Status::failure("table \"" + m_table.tableName() + "\": no record is being changed");
    m_editing = false;
    if (m_columns.empty())
        return m_saving.saveNothing();
    std::vector<AccessStoredField> expected;
    for (const std::string& column : m_columns) {
        Result<AccessStoredField> stored = m_table.stored(column);
        if (!stored.ok())
            return stored.status();
        expected.push_back(std::move(*stored));
    }
    Result<std::vector<AccessKnownBy>> known = knownBy();
    if (!known.ok())
        return known.status();
    Result<std::vector<std::optional<AccessEncoded>>> written =
        m_saving.save(m_table.tableName(), m_columns, m_table.place(), expected, m_values, *known, AccessFlush::Later);
    if (!written.ok())
        return written.status();
    assert(written->size() == m_columns.size() && "the save tells what each column now stores");
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const std::optional<AccessEncoded>& stored = (*written)[i];
        // An emptied field keeps its bytes; only its null-mask bit changed.
        Status noted =
            stored ? m_table.noteSaved(m_columns[i], {true, true, stored->bytes}, stored->readBack)
                   : m_table.noteSaved(m_columns[i], {expected[i].held, false, expected[i].bytes}, std::nullopt);
        if (!noted)
            return noted;
    }
    return Status::success();
}

Result<std::vector<AccessKnownBy>> AccessRecordEdit::knownBy() const
{
    std::vector<AccessKnownBy> known;
    auto add = [&](const AccessIndex& index) {
        for (const std::string& column : index.columns) {
            bool listed = false;
            for (const AccessKnownBy& already : known)
                listed = listed || already.column == column;
            if (listed)
                continue;
            Result<AccessStoredField> stored = m_table.stored(column);
            if (!stored.ok())
                return stored.status();
            known.push_back({column, std::move(*stored)});
        }
        return Status::success();
    };
    if (const AccessIndex* index = m_table.index())
        if (Status added = add(*index); !added.ok())
            return added;
    for (const AccessIndex& index : m_table.definition().indexes)
        if (index.primary)
            if (Status added = add(index); !added.ok())
                return added;
    return known;
}

} // namespace tarvex
