// Reading a table's records into memory, and walking and seeking them through
// the table's indexes.
#include "platform/AccessTable.h"

#include "platform/AccessText.h"
#include "platform/AccessValue.h"
#include "platform/FieldReading.h"
#include "platform/SqlText.h"

#include <algorithm>
#include <charconv>

namespace tarvex {

namespace {

std::uint32_t placeKey(std::uint32_t page, unsigned row)
{
    return page << 8 | (row & 0xFF);
}

} // namespace

AccessTable::AccessTable(std::shared_ptr<const AccessSource> source, AccessTableDefinition definition,
                         std::vector<int> openedSlots)
    : m_source(std::move(source))
    , m_definition(std::move(definition))
    , m_openedSlots(std::move(openedSlots))
{
}

AccessTable::AccessTable(AccessTable&&) noexcept = default;
AccessTable& AccessTable::operator=(AccessTable&&) noexcept = default;
AccessTable::~AccessTable() = default;

std::string AccessTable::recordName(std::uint32_t record) const
{
    const AccessPlace& at = m_places[record];
    return "table \"" + m_definition.name + "\", record at page " + std::to_string(at.page) + " row " +
           std::to_string(at.row);
}

Status AccessTable::load()
{
    const AccessImage& image = m_source->image;
    std::string damaged = m_source->path + ": damaged: table \"" + m_definition.name + "\": ";
    AccessRowFields fields;
    std::size_t longBytesLeft = image.bytes().size();
    Result<std::vector<std::uint32_t>> pages =
        image.dataPages(reinterpret_cast<const unsigned char*>(m_definition.usageMap.data()),
                        m_definition.usageMap.size(), m_definition.page);
    if (!pages.ok())
        return Status::failure(damaged + pages.error());
    for (std::uint32_t page : *pages) {
        for (unsigned row = 0; row < image.rowCount(page); ++row) {
            AccessPlace place{page, static_cast<std::uint16_t>(row), page, static_cast<std::uint16_t>(row)};
            Result<std::optional<AccessRowBytes>> bytes = image.liveRow(m_definition.page, place);
            if (!bytes.ok())
                return Status::failure(damaged + bytes.error());
            if (!*bytes)
                continue;
            auto record = static_cast<std::uint32_t>(m_places.size());
            if (!m_byPlace.emplace(placeKey(page, row), record).second)
                return Status::failure(damaged + "page " + std::to_string(page) + " is listed twice");
            m_places.push_back(place);
            bool split = fields.split(image, **bytes, m_definition.hasVariableColumns);
            for (int slot : m_openedSlots) {
                const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(slot)];
                Result<FieldValue> value = split ? decodeField(image, fields, column, m_source->codePage, longBytesLeft)
                                                 : Result<FieldValue>::failure("the record's layout is damaged");
                if (!value.ok()) {
                    m_fieldErrors[m_values.size()] = value.error();
                    m_values.emplace_back();
                } else {
                    m_values.push_back(std::move(*value));
                }
            }
        }
    }
    return Status::success();
}

Status AccessTable::setIndex(const std::string& index)
{
    const AccessIndex* found = nullptr;
    for (const AccessIndex& candidate : m_definition.indexes)
        if (sameName(candidate.name, index) && (!found || candidate.name == index))
            found = &candidate;
    m_hasRecord = false;
    if (!found)
        return Status::failure("table \"" + m_definition.name + "\" has no index \"" + index + "\"");
    std::string damaged =
        m_source->path + ": damaged: index \"" + found->name + "\" of table \"" + m_definition.name + "\"";
    if (found->root == 0 || found->columnSlots.empty())
        return Status::failure("index \"" + found->name + "\" of table \"" + m_definition.name +
                               "\" has no entries of its own");
    Result<std::vector<std::uint32_t>> entries = m_source->image.indexEntries(m_definition.page, found->root);
    if (!entries.ok())
        return Status::failure(damaged + ": " + entries.error());
    std::vector<std::uint32_t> order;
    order.reserve(entries->size());
    std::vector<bool> listed(m_places.size(), false);
    for (std::uint32_t entry : *entries) {
        auto record = m_byPlace.find(entry);
        if (record == m_byPlace.end() || listed[record->second])
            return Status::failure(damaged + ": an entry names no record of the table");
        listed[record->second] = true;
        order.push_back(record->second);
    }
    // An index that leaves out empty keys lists fewer records; any other
    // lists every one.
    if (order.size() != m_places.size() && !found->ignoresNulls)
        return Status::failure(damaged + ": it lists " + std::to_string(order.size()) + " of " +
                               std::to_string(m_places.size()) + " records");
    m_index = found;
    m_storedOrder = false;
    m_order = std::move(order);
    m_seekKeysBuilt = false;
    m_textKeys.clear();
    m_numberKeys.clear();
    return Status::success();
}

void AccessTable::useStoredOrder()
{
    m_index = nullptr;
    m_storedOrder = true;
    m_hasRecord = false;
    m_order.resize(m_places.size());
    for (std::uint32_t record = 0; record < m_order.size(); ++record)
        m_order[record] = record;
}

Status AccessTable::moveFirst()
{
    if (!m_index && !m_storedOrder) {
        m_hasRecord = false;
        return Status::failure("table \"" + m_definition.name + "\": no index chosen");
    }
    m_position = 0;
    m_hasRecord = !m_order.empty();
    return Status::success();
}

Status AccessTable::moveNext()
{
    if (!m_hasRecord)
        return Status::failure("table \"" + m_definition.name + "\": no current record");
    ++m_position;
    m_hasRecord = m_position < m_order.size();
    return Status::success();
}

Result<FieldValue> AccessTable::decodeStored(std::uint32_t record, const AccessColumn& column,
                                             std::size_t& longBytesLeft) const
{
    AccessPlace place = m_places[record];
    Result<std::optional<AccessRowBytes>> bytes = m_source->image.liveRow(m_definition.page, place);
    if (!bytes.ok() || !*bytes)
        return Result<FieldValue>::failure("the record is no longer where it was");
    AccessRowFields fields;
    if (!fields.split(m_source->image, **bytes, m_definition.hasVariableColumns))
        return Result<FieldValue>::failure("the record's layout is damaged");
    return decodeField(m_source->image, fields, column, m_source->codePage, longBytesLeft);
}

Status AccessTable::buildSeekKeys()
{
    // The first key column of every record the index lists, in index order;
    // sorting keeps equal keys in that order, so a seek finds the first.
    int slot = m_index->columnSlots.front();
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(slot)];
    auto opened = std::find(m_openedSlots.begin(), m_openedSlots.end(), slot);
    std::size_t longBytesLeft = m_source->image.bytes().size();
    for (std::uint32_t position = 0; position < m_order.size(); ++position) {
        std::uint32_t record = m_order[position];
        FieldValue value;
        if (opened != m_openedSlots.end()) {
            value = m_values[record * m_openedSlots.size() + static_cast<std::size_t>(opened - m_openedSlots.begin())];
        } else {
            Result<FieldValue> decoded = decodeStored(record, column, longBytesLeft);
            if (decoded.ok())
                value = std::move(*decoded);
        }
        if (value.type == FieldValue::Type::Text)
            m_textKeys.push_back({foldedKey(value.bytes), position});
        else if (value.type == FieldValue::Type::Integer)
            m_numberKeys.push_back({static_cast<double>(value.integer), position});
        else if (value.type == FieldValue::Type::Real)
            m_numberKeys.push_back({value.real, position});
    }
    std::stable_sort(m_textKeys.begin(), m_textKeys.end(),
                     [](const TextKey& a, const TextKey& b) { return a.key < b.key; });
    std::stable_sort(m_numberKeys.begin(), m_numberKeys.end(),
                     [](const NumberKey& a, const NumberKey& b) { return a.key < b.key; });
    m_seekKeysBuilt = true;
    return Status::success();
}

Status AccessTable::seek(const Key& key)
{
    m_hasRecord = false;
    if (!m_index)
        return Status::failure("table \"" + m_definition.name + "\": no index chosen");
    if (!m_seekKeysBuilt) {
        Status built = buildSeekKeys();
        if (!built.ok())
            return built;
    }
    std::optional<double> number;
    std::string text;
    if (const auto* whole = std::get_if<std::int64_t>(&key)) {
        number = static_cast<double>(*whole);
        text = std::to_string(*whole);
    } else {
        text = foldedKey(std::get<std::string>(key));
        double parsed = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (ec == std::errc() && end == text.data() + text.size())
            number = parsed;
    }
    auto found = std::lower_bound(m_textKeys.begin(), m_textKeys.end(), text,
                                  [](const TextKey& entry, const std::string& wanted) { return entry.key < wanted; });
    if (found != m_textKeys.end() && found->key == text) {
        m_position = found->position;
        m_hasRecord = true;
        return Status::success();
    }
    if (!number)
        return Status::success();
    auto numeric = std::lower_bound(m_numberKeys.begin(), m_numberKeys.end(), *number,
                                    [](const NumberKey& entry, double wanted) { return entry.key < wanted; });
    if (numeric != m_numberKeys.end() && numeric->key == *number) {
        m_position = numeric->position;
        m_hasRecord = true;
    }
    return Status::success();
}

int AccessTable::openedIndex(const std::string& column) const
{
    for (size_t i = 0; i < m_openedSlots.size(); ++i)
        if (m_definition.columns[static_cast<std::size_t>(m_openedSlots[i])].name == column)
            return static_cast<int>(i);
    for (size_t i = 0; i < m_openedSlots.size(); ++i)
        if (sameName(m_definition.columns[static_cast<std::size_t>(m_openedSlots[i])].name, column))
            return static_cast<int>(i);
    return -1;
}

const FieldValue* AccessTable::currentField(const std::string& column, std::string& error) const
{
    if (!m_hasRecord) {
        error = "table \"" + m_definition.name + "\": no current record";
        return nullptr;
    }
    int i = openedIndex(column);
    if (i < 0) {
        error = "table \"" + m_definition.name + "\": column \"" + column + "\" not opened";
        return nullptr;
    }
    std::uint32_t record = m_order[m_position];
    std::size_t at = record * m_openedSlots.size() + static_cast<std::size_t>(i);
    if (auto failed = m_fieldErrors.find(at); failed != m_fieldErrors.end()) {
        error = m_source->path + ": " + recordName(record) + ": \"" + column + "\" cannot be read: " + failed->second;
        return nullptr;
    }
    return &m_values[at];
}

Result<FieldValue> AccessTable::field(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<FieldValue>::failure(error);
    return *value;
}

Result<std::optional<double>> AccessTable::number(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<std::optional<double>>::failure(error);
    return fieldAsNumber(*value, recordName(m_order[m_position]), column);
}

Result<std::optional<std::int64_t>> AccessTable::integer(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<std::optional<std::int64_t>>::failure(error);
    return fieldAsInteger(*value, recordName(m_order[m_position]), column);
}

Result<std::optional<std::string>> AccessTable::text(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<std::optional<std::string>>::failure(error);
    return fieldAsText(*value, recordName(m_order[m_position]), column);
}

AccessPlace AccessTable::place() const
{
    return m_hasRecord ? m_places[m_order[m_position]] : AccessPlace{};
}

Result<std::size_t> AccessTable::currentColumn(const std::string& column) const
{
    if (!m_hasRecord)
        return Result<std::size_t>::failure("table \"" + m_definition.name + "\": no current record");
    const AccessColumn* found = nullptr;
    for (const AccessColumn& candidate : m_definition.columns)
        if (sameName(candidate.name, column) && (!found || candidate.name == column))
            found = &candidate;
    if (!found)
        return Result<std::size_t>::failure("table \"" + m_definition.name + "\" has no column \"" + column + "\"");
    return static_cast<std::size_t>(found - m_definition.columns.data());
}

Result<AccessStoredField> AccessTable::stored(const std::string& column) const
{
    using R = Result<AccessStoredField>;
    Result<std::size_t> position = currentColumn(column);
    if (!position.ok())
        return position.status();
    const AccessColumn* found = &m_definition.columns[*position];
    std::uint32_t record = m_order[m_position];
    if (auto saved = m_saved.find(record); saved != m_saved.end()) {
        auto field = saved->second.find(*position);
        if (field != saved->second.end())
            return field->second;
    }
    AccessPlace place = m_places[record];
    Result<std::optional<AccessRowBytes>> bytes = m_source->image.liveRow(m_definition.page, place);
    AccessRowFields fields;
    if (!bytes.ok() || !*bytes || !fields.split(m_source->image, **bytes, m_definition.hasVariableColumns))
        return R::failure(m_source->path + ": " + recordName(record) + ": the record's layout is damaged");
    return fields.stored(*found);
}

Status AccessTable::noteSaved(const std::string& column, const AccessStoredField& stored, double value)
{
    Result<std::size_t> position = currentColumn(column);
    if (!position.ok())
        return position.status();
    std::uint32_t record = m_order[m_position];
    m_saved[record][*position] = stored;
    if (int i = openedIndex(m_definition.columns[*position].name); i >= 0) {
        std::size_t at = record * m_openedSlots.size() + static_cast<std::size_t>(i);
        m_values[at] = FieldValue{FieldValue::Type::Real, 0, value, {}};
        m_fieldErrors.erase(at);
    }
    return Status::success();
}

} // namespace tarvex
