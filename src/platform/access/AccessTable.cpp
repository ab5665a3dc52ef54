// Reading a table's records into memory, and walking and seeking them through
// the table's indexes.
#include "platform/access/AccessTable.h"

#include "platform/access/AccessText.h"
#include "platform/access/AccessValue.h"
#include "platform/bytes/LittleEndian.h"
#include "platform/db/FieldReading.h"
#include "platform/text/TextHelpers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <utility>

namespace tarvex {

namespace {

// The states of an index's leads (AccessTable::m_walk.leadState): none taken,
// taken and not yet checked, checked and followed.
constexpr std::uint8_t kLeadsUnusable = 0;
constexpr std::uint8_t kLeadsUnchecked = 1;
constexpr std::uint8_t kLeadsUsable = 2;
// The records whose codes checkLeads() compares with their keys' leads.
constexpr std::size_t kLeadSamples = 64;
// The longest code sought by its lead: longer texts may be cut short in a
// key, and product codes are far shorter.
constexpr std::size_t kMaxLeadChars = 100;

std::uint32_t placeKey(std::uint32_t page, unsigned row)
{
    return page << 8 | (row & 0xFF);
}

} // namespace

const AccessColumn* findColumn(const AccessTableDefinition& definition, const std::string& name)
{
    // Callers mostly spell the name as the table does: an exact match is
    // looked for first (the last, as the loop below would keep it), which
    // compares little more than lengths.
    for (auto candidate = definition.columns.rbegin(); candidate != definition.columns.rend(); ++candidate)
        if (candidate->name == name)
            return &*candidate;
    for (const AccessColumn& candidate : definition.columns)
        if (sameIgnoringCase(candidate.name, name))
            return &candidate;
    return nullptr;
}

AccessTable::AccessTable(std::shared_ptr<const AccessSource> source, AccessTableDefinition definition,
                         std::vector<int> openedSlots)
    : m_source(std::move(source))
    , m_definition(std::move(definition))
    , m_openedSlots(std::move(openedSlots))
{
}

AccessTable::AccessTable(AccessTable&&) noexcept = default;
AccessTable& AccessTable::operator=(AccessTable&&) noexcept = default;

AccessTable::~AccessTable()
{
    // A moved-from table has no source.
    if (!m_source || !m_walked)
        return;
    try {
        putAsideIndexWalk();
        m_source->walks.try_emplace(
            m_definition.page, AccessTableWalk{std::move(m_places), std::move(m_pageStarts), std::move(m_otherWalks)});
    } catch (...) {
        // Without memory for the walk the next opening walks the pages again.
    }
}

void AccessTable::putAsideIndexWalk()
{
    if (!m_index)
        return;
    m_otherWalks[m_index->name] = std::exchange(m_walk, AccessIndexWalk{});
    m_index = nullptr;
}

bool AccessTable::takeIndexWalk(const AccessIndex& index)
{
    auto kept = m_otherWalks.find(index.name);
    if (kept == m_otherWalks.end())
        return false;
    m_index = &index;
    m_walk = std::move(kept->second);
    m_otherWalks.erase(kept);
    return true;
}

std::string AccessTable::recordName(std::uint32_t record) const
{
    const AccessPlace& at = m_places[record];
    return "table \"" + m_definition.name + "\", record at page " + std::to_string(at.page) + " row " +
           std::to_string(at.row);
}

Status AccessTable::load()
{
    const AccessImage& image = m_source->image;
    m_longBytesLeft = static_cast<std::size_t>(image.size());
    // The same table opened before in this image: its walk holds what the
    // pages give again.
    if (auto kept = m_source->walks.find(m_definition.page); kept != m_source->walks.end()) {
        m_places = std::move(kept->second.places);
        m_pageStarts = std::move(kept->second.pageStarts);
        m_otherWalks = std::move(kept->second.indexes);
        m_source->walks.erase(kept);
        m_walked = true;
        return Status::success();
    }
    std::string damaged = m_source->path + ": damaged: table \"" + m_definition.name + "\": ";
    Result<std::vector<std::uint32_t>> pages =
        image.dataPages(reinterpret_cast<const unsigned char*>(m_definition.usageMap.data()),
                        m_definition.usageMap.size(), m_definition.page);
    if (!pages.ok())
        return Status::failure(damaged + pages.error());
    // Room for every row the pages' row tables list, deleted ones included.
    std::size_t rowsListed = 0;
    for (std::uint32_t page : *pages)
        rowsListed += image.rowCount(page);
    m_places.reserve(rowsListed);
    std::vector<std::uint8_t> inPlace;
    for (std::uint32_t page : *pages) {
        const unsigned rows = image.rowCount(page);
        const unsigned char* p = image.page(page);
        if (p && get32(p + image.format().ownerAt) != m_definition.page)
            p = nullptr;
        // Most records are in their place, neither deleted nor moved:
        // rowsInPlace() checks their bounds as liveRow() does, without
        // building its answer; any other row is left to liveRow().
        rowsInPlace(p, image.format(), inPlace);
        for (unsigned row = 0; row < rows; ++row) {
            AccessPlace place{page, static_cast<std::uint16_t>(row), page, static_cast<std::uint16_t>(row)};
            if (row >= inPlace.size() || !inPlace[row]) {
                Result<std::optional<AccessRowBytes>> bytes = image.liveRow(m_definition.page, place);
                if (!bytes.ok())
                    return Status::failure(damaged + bytes.error());
                if (!*bytes)
                    continue;
            }
            // The pages come in ascending order and rows in ascending order
            // on each, so the places are sorted: a place that does not come
            // after the one before is listed twice.
            if (!m_places.empty() && placeKey(page, row) <= placeKey(m_places.back().page, m_places.back().row))
                return Status::failure(damaged + "page " + std::to_string(page) + " is listed twice");
            m_places.push_back(place);
        }
    }
    // Where each page's records begin among the places, for finding the
    // record an index entry names.
    // The places are in page order: the last holds the highest page.
    m_pageStarts.assign(m_places.empty() ? 1 : static_cast<std::size_t>(m_places.back().page) + 2, 0);
    for (const AccessPlace& place : m_places)
        ++m_pageStarts[place.page + 1];
    for (std::size_t i = 1; i < m_pageStarts.size(); ++i)
        m_pageStarts[i] += m_pageStarts[i - 1];
    m_walked = true;
    return Status::success();
}

std::optional<std::uint32_t> AccessTable::recordAt(std::uint32_t page, unsigned row) const
{
    if (page + 1 >= m_pageStarts.size())
        return std::nullopt;
    auto first = m_places.begin() + m_pageStarts[page];
    auto last = m_places.begin() + m_pageStarts[page + 1];
    // Mostly every row of a page is live, and row r is the page's r-th.
    if (row < static_cast<std::size_t>(last - first) && first[row].row == row)
        return static_cast<std::uint32_t>(first - m_places.begin()) + row;
    auto found = std::lower_bound(first, last, row, [](const AccessPlace& place, unsigned r) { return place.row < r; });
    if (found == last || found->row != row)
        return std::nullopt;
    return static_cast<std::uint32_t>(found - m_places.begin());
}

const FieldValue* AccessTable::valueAt(std::uint32_t record, std::size_t opened, std::string& error) const
{
    if (m_fieldsRecord != record) {
        m_fieldsRecord = record;
        m_fields.resize(m_openedSlots.size());
        m_fieldErrors.resize(m_openedSlots.size());
        m_fieldState.assign(m_openedSlots.size(), 0);
    }
    if (m_fieldState[opened] == 0) {
        std::size_t at = record * m_openedSlots.size() + opened;
        if (auto saved = m_savedValues.find(at); saved != m_savedValues.end()) {
            m_fields[opened] = saved->second;
            m_fieldState[opened] = 1;
        } else {
            const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(m_openedSlots[opened])];
            Result<FieldValue> value = decodeStored(record, column, m_longBytesLeft);
            if (value.ok())
                m_fields[opened] = std::move(*value);
            else
                m_fieldErrors[opened] = value.error();
            m_fieldState[opened] = value.ok() ? 1 : 2;
        }
    }
    if (m_fieldState[opened] == 2) {
        error = m_fieldErrors[opened];
        return nullptr;
    }
    return &m_fields[opened];
}

Status AccessTable::setIndex(const std::string& index)
{
    const AccessIndex* found = nullptr;
    for (const AccessIndex& candidate : m_definition.indexes)
        if (sameIgnoringCase(candidate.name, index) && (!found || candidate.name == index))
            found = &candidate;
    m_hasRecord = false;
    if (!found)
        return Status::failure("table \"" + m_definition.name + "\" has no index \"" + index + "\"");
    if (found->root == 0 || found->columnSlots.empty())
        return Status::failure("index \"" + found->name + "\" of table \"" + m_definition.name +
                               "\" has no entries of its own");
    // Chosen before, in this table or one that ended: walked already.
    if (m_index == found)
        return Status::success();
    if (m_otherWalks.count(found->name)) {
        putAsideIndexWalk();
        takeIndexWalk(*found);
        return Status::success();
    }
    std::string damaged =
        m_source->path + ": damaged: index \"" + found->name + "\" of table \"" + m_definition.name + "\"";
    AccessImage::KeptOpen keptOpen(m_source->image);
    // The keys' leads, for an index whose text keys can be sought by them;
    // the keys' numbers, for an index on one whole-number column.
    std::vector<std::uint64_t> leads;
    const std::size_t numberBytes = entryNumberBytes(*found);
    bool takeLeads = numberBytes == 0 && leadSortOrder(*found) != AccessSortOrder::Unknown;
    Result<std::vector<std::uint32_t>> entries = m_source->image.indexEntries(
        m_definition.page, found->root, takeLeads || numberBytes > 0 ? &leads : nullptr, m_places.size(), numberBytes);
    if (!entries.ok())
        return Status::failure(damaged + ": " + entries.error());
    std::vector<std::uint32_t> order;
    order.reserve(entries->size());
    std::vector<std::uint8_t> listed(m_places.size(), 0);
    // Index order jumps about the pages: each entry's page is asked for
    // some entries ahead, so that the walk need not wait on memory for each.
    constexpr std::size_t kAhead = 8;
    const std::vector<std::uint32_t>& all = *entries;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i + kAhead < all.size() && (all[i + kAhead] >> 8) + 1 < m_pageStarts.size()) {
            std::size_t ahead = m_pageStarts[all[i + kAhead] >> 8] + (all[i + kAhead] & 0xFF);
            if (ahead < m_places.size())
                __builtin_prefetch(&m_places[ahead]);
        }
        std::uint32_t entry = all[i];
        std::optional<std::uint32_t> record = recordAt(entry >> 8, entry & 0xFF);
        if (!record || listed[*record])
            return Status::failure(damaged + ": an entry names no record of the table");
        listed[*record] = 1;
        order.push_back(*record);
    }
    // An index that leaves out empty keys lists fewer records; any other
    // lists every one.
    if (order.size() != m_places.size() && !found->ignoresNulls)
        return Status::failure(damaged + ": it lists " + std::to_string(order.size()) + " of " +
                               std::to_string(m_places.size()) + " records");
    putAsideIndexWalk();
    m_index = found;
    m_walk.order = std::move(order);
    m_walk.seekKeysBuilt = false;
    m_walk.textKeys.clear();
    m_walk.numberKeys.clear();
    m_walk.entryNumbers.clear();
    // Numbers out of order, or an entry without one (an empty field), and
    // every seek reads the records' own keys.
    if (numberBytes > 0 && std::is_sorted(leads.begin(), leads.end()) && (leads.empty() || leads.back() != kNoLead))
        m_walk.entryNumbers = std::move(leads);
    m_walk.leadKeys.build(takeLeads ? std::move(leads) : std::vector<std::uint64_t>());
    m_walk.leadState = takeLeads ? kLeadsUnchecked : kLeadsUnusable;
    return Status::success();
}

void AccessTable::useStoredOrder()
{
    putAsideIndexWalk();
    m_hasRecord = false;
    m_walk.order.resize(m_places.size());
    for (std::uint32_t record = 0; record < m_walk.order.size(); ++record)
        m_walk.order[record] = record;
}

Status AccessTable::moveFirst()
{
    // Without an index the records are walked in the order the table's
    // pages hold them.
    if (!m_index && m_walk.order.size() != m_places.size()) {
        m_walk.order.resize(m_places.size());
        std::iota(m_walk.order.begin(), m_walk.order.end(), 0u);
    }
    m_position = 0;
    m_hasRecord = !m_walk.order.empty();
    return Status::success();
}

Status AccessTable::moveNext()
{
    if (!m_hasRecord)
        return Status::failure("table \"" + m_definition.name + "\": no current record");
    ++m_position;
    m_hasRecord = m_position < m_walk.order.size();
    return Status::success();
}

Result<FieldValue> AccessTable::decodeStored(std::uint32_t record, const AccessColumn& column,
                                             std::size_t& longBytesLeft) const
{
    if (const char* problem = splitRecord(record))
        return Result<FieldValue>::failure(problem);
    return decodeField(m_source->image, m_split, column, m_source->codePage, longBytesLeft);
}

const char* AccessTable::splitRecord(std::uint32_t record) const
{
    // The record last split is kept: a record's fields are mostly read
    // together.
    if (m_splitRecord == record)
        return nullptr;
    m_splitRecord.reset();
    AccessPlace place = m_places[record];
    Result<std::optional<AccessRowBytes>> bytes = m_source->image.liveRow(m_definition.page, place);
    if (!bytes.ok() || !*bytes)
        return "the record is no longer where it was";
    if (!m_split.split(m_source->image, **bytes, m_definition.hasVariableColumns))
        return "the record's layout is damaged";
    m_splitRecord = record;
    return nullptr;
}

bool AccessTable::asciiTextKey(std::uint32_t record, const AccessColumn& column, std::string& key) const
{
    // decodeField's reading of a text column, up to the text itself: an
    // empty, missing or unreadable field is left to it.
    if (column.type != access_type::kText || column.calculated || m_source->image.isJet3() ||
        splitRecord(record) != nullptr || !m_split.maskBit(column))
        return false;
    std::optional<AccessRowBytes> stored = m_split.bytes(column);
    return stored && asciiFoldedKey(stored->data, stored->size, key);
}

bool AccessTable::textKey(std::uint32_t record, const AccessColumn& column, std::string& key) const
{
    if (asciiTextKey(record, column, key))
        return true;
    auto longBytesLeft = static_cast<std::size_t>(m_source->image.size());
    Result<FieldValue> decoded = decodeStored(record, column, longBytesLeft);
    if (!decoded.ok() || decoded->type != FieldValue::Type::Text)
        return false;
    key = foldedKey(decoded->bytes);
    return true;
}

AccessSortOrder AccessTable::leadSortOrder(const AccessIndex& index) const
{
    if (m_source->image.isJet3() || index.columnSlots.size() != 1)
        return AccessSortOrder::Unknown;
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(index.columnSlots.front())];
    if (column.type != access_type::kText)
        return AccessSortOrder::Unknown;
    return accessSortOrder(column.sortLocale, column.sortVersion);
}

std::size_t AccessTable::entryNumberBytes(const AccessIndex& index) const
{
    if (m_source->image.isJet3() || index.columnSlots.size() != 1)
        return 0;
    switch (m_definition.columns[static_cast<std::size_t>(index.columnSlots.front())].type) {
    case access_type::kLong:
        return 4;
    case access_type::kInteger:
        return 2;
    default:
        return 0;
    }
}

std::optional<std::uint32_t> AccessTable::seekByEntryNumbers(std::int64_t number) const
{
    const std::vector<std::uint64_t>& numbers = m_walk.entryNumbers;
    const std::size_t bytes = entryNumberBytes(*m_index);
    if (numbers.empty() || bytes == 0)
        return std::nullopt;
    // The key's number: two's complement with the sign bit flipped, so that
    // the keys' bytes order as their numbers do.
    const std::int64_t lowest = -(std::int64_t{1} << (8 * bytes - 1));
    if (number < lowest || number > -lowest - 1)
        return std::nullopt;
    const std::uint64_t key = static_cast<std::uint64_t>(number - lowest);
    auto at = std::lower_bound(numbers.begin(), numbers.end(), key);
    if (at == numbers.end() || *at != key)
        return std::nullopt;
    const auto position = static_cast<std::uint32_t>(at - numbers.begin());
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(m_index->columnSlots.front())];
    auto longBytesLeft = static_cast<std::size_t>(m_source->image.size());
    Result<FieldValue> held = decodeStored(m_walk.order[position], column, longBytesLeft);
    if (!held.ok() || held->type != FieldValue::Type::Integer || held->integer != number)
        return std::nullopt;
    return position;
}

void AccessTable::checkLeads()
{
    m_walk.leadState = kLeadsUnusable;
    const std::vector<std::uint64_t>& leads = m_walk.leadKeys.leads();
    if (leads.size() != m_walk.order.size())
        return;
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(m_index->columnSlots.front())];
    AccessSortOrder order = leadSortOrder(*m_index);
    AccessImage::KeptOpen keptOpen(m_source->image);
    std::string key;
    std::string codes;
    // A key not coded as this sort order codes the record's own code (a
    // sort order misread, keys written by another coding) leaves the leads
    // unused: a code sought by its lead could then be missed.
    for (std::size_t k = 0; k < kLeadSamples && k < leads.size(); ++k) {
        std::size_t position = k * leads.size() / std::min(kLeadSamples, leads.size());
        if (textKey(m_walk.order[position], column, key) && asciiSortCodes(order, key, codes) &&
            leadHash(codes) != leads[position])
            return;
    }
    // Entries without a lead (an empty field, a key this reading cannot
    // follow) are keyed by their records' codes, as buildSeekKeys() keys
    // them all; when they are many, seeking by the leads saves nothing.
    std::size_t leadless = 0;
    for (std::uint64_t lead : leads)
        leadless += lead == kNoLead ? 1 : 0;
    if (leadless > leads.size() / 8)
        return;
    m_walk.leadlessKeys.reserve(leadless);
    for (std::uint32_t position = 0; position < leads.size(); ++position)
        if (leads[position] == kNoLead && textKey(m_walk.order[position], column, key))
            m_walk.leadlessKeys.addFirst(key, position);
    m_walk.leadState = kLeadsUsable;
}

std::optional<std::optional<std::uint32_t>> AccessTable::seekByLeads(const std::string& folded)
{
    if (m_walk.leadState == kLeadsUnchecked)
        checkLeads();
    std::string codes;
    if (m_walk.leadState != kLeadsUsable || folded.size() > kMaxLeadChars ||
        !asciiSortCodes(leadSortOrder(*m_index), folded, codes))
        return std::nullopt;
    // The first in index order of the records whose key has the code's lead
    // and whose own code is folded, and of those whose key has no lead.
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(m_index->columnSlots.front())];
    std::optional<std::uint32_t> found = m_walk.leadlessKeys.find(folded);
    std::string key;
    for (std::optional<std::uint32_t> position = m_walk.leadKeys.first(leadHash(codes));
         position && (!found || *position < *found); position = m_walk.leadKeys.next(*position)) {
        if (textKey(m_walk.order[*position], column, key) && key == folded) {
            found = position;
            break;
        }
    }
    return found;
}

bool AccessTable::seeksByIndexKeys() const
{
    return m_index && (m_walk.leadState == kLeadsUsable || !m_walk.entryNumbers.empty()) && !m_walk.seekKeysBuilt;
}

Status AccessTable::buildSeekKeys()
{
    // The first key column of every record the index lists. The keys are
    // read in the order the records are stored, which reads the file front
    // to back instead of jumping about it in index order, and then added in
    // index order: a key keeps the first position that holds it, so a seek
    // finds the first, and a key met again is a repeated one.
    int slot = m_index->columnSlots.front();
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(slot)];
    AccessImage::KeptOpen keptOpen(m_source->image);
    // Decoded here and not kept: a lookup reads the other fields of only a
    // few of the records.
    auto longBytesLeft = static_cast<std::size_t>(m_source->image.size());
    m_walk.repeatedAt.reset();
    enum class Kind : std::uint8_t { None, Text, Number };
    struct RecordKey {
        double number = 0;
        std::uint64_t hash = 0; // of a text key
        std::size_t offset = 0; // of a text key in texts
        std::uint32_t length = 0;
        Kind kind = Kind::None; // None: empty or unreadable, not sought
    };
    std::vector<std::uint8_t> listed(m_places.size(), 0);
    for (std::uint32_t record : m_walk.order)
        listed[record] = 1;
    std::vector<RecordKey> keys(m_places.size());
    std::string texts;
    std::string folded;
    for (std::uint32_t record = 0; record < m_places.size(); ++record) {
        if (!listed[record])
            continue;
        RecordKey& key = keys[record];
        // Most keys are plain ASCII codes, folded straight from their bytes.
        if (!asciiTextKey(record, column, folded)) {
            Result<FieldValue> decoded = decodeStored(record, column, longBytesLeft);
            if (!decoded.ok())
                continue;
            if (decoded->type == FieldValue::Type::Integer || decoded->type == FieldValue::Type::Real) {
                key.kind = Kind::Number;
                key.number =
                    decoded->type == FieldValue::Type::Real ? decoded->real : static_cast<double>(decoded->integer);
                continue;
            }
            if (decoded->type != FieldValue::Type::Text)
                continue;
            folded = foldedKey(decoded->bytes);
        }
        key.kind = Kind::Text;
        key.offset = texts.size();
        key.length = static_cast<std::uint32_t>(folded.size());
        key.hash = AccessKeyTable::hashOf(folded);
        texts += folded;
    }
    if (column.type == access_type::kText || column.type == access_type::kMemo)
        m_walk.textKeys.reserve(m_walk.order.size());
    else
        m_walk.numberKeys.reserve(m_walk.order.size());
    // The first repeated text key met in index order: where it was met, and
    // the first position that holds it.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> textRepeat;
    // Index order jumps about the keys read and the table of keys: each
    // key read is asked for some keys ahead, and its slot a few keys ahead.
    constexpr std::uint32_t kAhead = 8;
    for (std::uint32_t position = 0; position < m_walk.order.size(); ++position) {
        if (position + 2 * kAhead < m_walk.order.size())
            __builtin_prefetch(&keys[m_walk.order[position + 2 * kAhead]]);
        if (position + kAhead < m_walk.order.size())
            m_walk.textKeys.prefetch(keys[m_walk.order[position + kAhead]].hash);
        const RecordKey& key = keys[m_walk.order[position]];
        // try_emplace answers where the key already was when it was.
        if (key.kind == Kind::Text) {
            std::optional<std::uint32_t> held =
                m_walk.textKeys.addFirst(std::string_view(texts).substr(key.offset, key.length), key.hash, position);
            if (held && !textRepeat)
                textRepeat = {{position, *held}};
        } else if (key.kind == Kind::Number && !std::isnan(key.number)) {
            m_walk.numberKeys.emplace_back(key.number, position);
        }
    }
    // Sorted by number and then position, so that each number's first
    // position comes first; its second is where it was met again.
    std::vector<std::pair<double, std::uint32_t>>& numbers = m_walk.numberKeys;
    std::sort(numbers.begin(), numbers.end());
    std::optional<std::pair<std::uint32_t, std::uint32_t>> numberRepeat;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (kept > 0 && numbers[kept - 1].first == numbers[i].first) {
            if (!numberRepeat || numbers[i].second < numberRepeat->first)
                numberRepeat = {{numbers[i].second, numbers[kept - 1].second}};
            continue;
        }
        numbers[kept++] = numbers[i];
    }
    numbers.resize(kept);
    std::optional<std::pair<std::uint32_t, std::uint32_t>> repeat = textRepeat;
    if (numberRepeat && (!repeat || numberRepeat->first < repeat->first))
        repeat = numberRepeat;
    if (repeat)
        m_walk.repeatedAt = repeat->second;
    m_walk.seekKeysBuilt = true;
    return Status::success();
}

Status AccessTable::seek(const Key& key)
{
    m_hasRecord = false;
    if (!m_index)
        return Status::failure("table \"" + m_definition.name + "\": no index chosen");
    std::optional<double> number;
    std::string text;
    const auto* whole = std::get_if<std::int64_t>(&key);
    if (whole) {
        number = static_cast<double>(*whole);
        text = std::to_string(*whole);
    } else {
        text = foldedKey(std::get<std::string>(key));
    }
    // Until a code the leads cannot answer for, the keys of every record
    // are not needed: the index's own keys find the few to read.
    if (whole && !m_walk.seekKeysBuilt)
        if (std::optional<std::uint32_t> byNumber = seekByEntryNumbers(*whole)) {
            m_hasRecord = true;
            m_position = *byNumber;
            return Status::success();
        }
    if (!m_walk.seekKeysBuilt) {
        if (std::optional<std::optional<std::uint32_t>> byLead = seekByLeads(text)) {
            m_hasRecord = byLead->has_value();
            m_position = byLead->value_or(0);
            return Status::success();
        }
        if (Status built = buildSeekKeys(); !built.ok())
            return built;
    }
    if (std::optional<std::uint32_t> found = m_walk.textKeys.find(text)) {
        m_position = *found;
        m_hasRecord = true;
        return Status::success();
    }
    // A text key found nowhere as text may still be a number's.
    if (!whole) {
        double parsed = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (ec == std::errc() && end == text.data() + text.size())
            number = parsed;
    }
    if (!number)
        return Status::success();
    const std::vector<std::pair<double, std::uint32_t>>& numbers = m_walk.numberKeys;
    auto numeric = std::lower_bound(numbers.begin(), numbers.end(), *number,
                                    [](const auto& held, double sought) { return held.first < sought; });
    if (numeric != numbers.end() && numeric->first == *number) {
        m_position = numeric->second;
        m_hasRecord = true;
    }
    return Status::success();
}

Result<std::optional<std::string>> AccessTable::repeatedKey()
{
    using R = Result<std::optional<std::string>>;
    if (!m_index)
        return R::failure("table \"" + m_definition.name + "\": no index chosen");
    if (m_index->unique && m_index->columnSlots.size() == 1)
        return std::optional<std::string>();
    if (!m_walk.seekKeysBuilt) {
        Status built = buildSeekKeys();
        if (!built.ok())
            return built;
    }
    std::optional<std::uint32_t> first = m_walk.repeatedAt;
    if (!first)
        return std::optional<std::string>();
    const AccessColumn& column = m_definition.columns[static_cast<std::size_t>(m_index->columnSlots.front())];
    auto longBytesLeft = static_cast<std::size_t>(m_source->image.size());
    Result<FieldValue> value = decodeStored(m_walk.order[*first], column, longBytesLeft);
    if (!value.ok())
        return R::failure(m_source->path + ": " + recordName(m_walk.order[*first]) + ": \"" + column.name +
                          "\" cannot be read: " + value.error());
    if (value->type == FieldValue::Type::Text)
        return std::optional<std::string>(value->bytes);
    if (value->type == FieldValue::Type::Integer)
        return std::optional<std::string>(std::to_string(value->integer));
    return std::optional<std::string>(accessNumberText(value->real));
}

int AccessTable::openedIndex(const std::string& column) const
{
    for (size_t i = 0; i < m_openedSlots.size(); ++i)
        if (m_definition.columns[static_cast<std::size_t>(m_openedSlots[i])].name == column)
            return static_cast<int>(i);
    for (size_t i = 0; i < m_openedSlots.size(); ++i)
        if (sameIgnoringCase(m_definition.columns[static_cast<std::size_t>(m_openedSlots[i])].name, column))
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
    std::uint32_t record = m_walk.order[m_position];
    std::string unreadable;
    const FieldValue* value = valueAt(record, static_cast<std::size_t>(i), unreadable);
    if (!value)
        error = m_source->path + ": " + recordName(record) + ": \"" + column + "\" cannot be read: " + unreadable;
    return value;
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
    auto currentName = [this] { return recordName(m_walk.order[m_position]); };
    return fieldAsNumber(*value, currentName, column);
}

Result<std::optional<std::int64_t>> AccessTable::integer(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<std::optional<std::int64_t>>::failure(error);
    auto currentName = [this] { return recordName(m_walk.order[m_position]); };
    return fieldAsInteger(*value, currentName, column);
}

Result<std::optional<std::string>> AccessTable::text(const std::string& column) const
{
    std::string error;
    const FieldValue* value = currentField(column, error);
    if (!value)
        return Result<std::optional<std::string>>::failure(error);
    auto currentName = [this] { return recordName(m_walk.order[m_position]); };
    return fieldAsText(*value, currentName, column, accessNumberText);
}

AccessPlace AccessTable::place() const
{
    return m_hasRecord ? m_places[m_walk.order[m_position]] : AccessPlace{};
}

Result<std::size_t> AccessTable::currentColumn(const std::string& column) const
{
    if (!m_hasRecord)
        return Result<std::size_t>::failure("table \"" + m_definition.name + "\": no current record");
    const AccessColumn* found = findColumn(m_definition, column);
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
    std::uint32_t record = m_walk.order[m_position];
    if (auto saved = m_saved.find(record); saved != m_saved.end()) {
        auto field = saved->second.find(*position);
        if (field != saved->second.end())
            return field->second;
    }
    // The record split last is mostly this one: its fields were just read.
    if (splitRecord(record) != nullptr)
        return R::failure(m_source->path + ": " + recordName(record) + ": the record's layout is damaged");
    return m_split.stored(*found);
}

Status AccessTable::noteSaved(const std::string& column, const AccessStoredField& stored, std::optional<double> value)
{
    Result<std::size_t> position = currentColumn(column);
    if (!position.ok())
        return position.status();
    std::uint32_t record = m_walk.order[m_position];
    m_saved[record][*position] = stored;
    if (int i = openedIndex(m_definition.columns[*position].name); i >= 0) {
        // Read from here on instead of the record's stored bytes.
        std::size_t at = record * m_openedSlots.size() + static_cast<std::size_t>(i);
        m_savedValues[at] = value ? FieldValue{FieldValue::Type::Real, 0, *value, {}} : FieldValue{};
        if (m_fieldsRecord == record)
            m_fieldState[static_cast<std::size_t>(i)] = 0;
    }
    return Status::success();
}

} // namespace tarvex
