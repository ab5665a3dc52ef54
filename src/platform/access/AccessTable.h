// AccessTable: one table of an open AccessFile, read into memory once and
// then seen as the original engine's table-type recordset. A named index is
// chosen; the records are walked in that index's own order (records with
// equal keys in the order the index keeps them) or found by an exact-match
// seek on the index's first column, which ignores letter case in text as
// Access's indexes do and lands on the first matching record in index order.
//
// Each record keeps where it lives in the file (AccessPlace), so that a
// later writer can change its stored values in place. Nothing here writes.
#pragma once

#include "platform/Recordset.h"
#include "platform/Result.h"
#include "platform/access/AccessImage.h"
#include "platform/access/AccessKeyTable.h"
#include "platform/access/AccessLeadKeys.h"
#include "platform/access/AccessSortCodes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// An index as the table definition describes it.
struct AccessIndex {
    std::string name;
    std::vector<std::string> columns; // key columns, first to last
    bool unique = false;
    bool primary = false;
    bool ignoresNulls = false;    // records with an empty key are left out
    std::uint32_t root = 0;       // page of the index's root; 0 when it has none of its own
    std::vector<int> columnSlots; // the key columns' positions in the table's columns
};

// A table's definition: its columns in stored order and its indexes.
struct AccessTableDefinition {
    std::string name;
    std::uint32_t page = 0; // the definition's first page
    std::vector<AccessColumn> columns;
    std::vector<AccessIndex> indexes;
    bool hasVariableColumns = false;
    std::string usageMap; // which pages hold the table's records
};

// The column of definition named name, letter case ignored (the exact
// spelling preferred); null when there is none.
const AccessColumn* findColumn(const AccessTableDefinition& definition, const std::string& name);

// What opening one index of a table derives from the image: the records in
// the index's order and, once a seek needed them, the keys it seeks by.
struct AccessIndexWalk {
    std::vector<std::uint32_t> order; // records in index order
    bool seekKeysBuilt = false;
    // The first position in index order of each folded text key and number
    // key, and the first position of a key that more records hold.
    AccessKeyTable textKeys;
    // Sorted by number, one for each number (-0 and 0 are one; NaN, which
    // no seek finds, none): built with one sort instead of a node each.
    std::vector<std::pair<double, std::uint32_t>> numberKeys;
    std::optional<std::uint32_t> repeatedAt;
    // Seeking by the entries' own keys: the lead of each position's key,
    // the records whose entries have none keyed by their codes, and whether
    // the leads can be followed (unusable, 0, until an index that has them
    // is walked; then unchecked until checked, then usable or unusable).
    AccessLeadKeys leadKeys;
    AccessKeyTable leadlessKeys;
    std::uint8_t leadState = 0;
    // For an index on one whole-number column, each position's key as its
    // entry holds it (AccessImage::indexEntries): ascending, every entry a
    // present number; else empty. A number is sought among them by halving,
    // and the record found confirms it.
    std::vector<std::uint64_t> entryNumbers;
};

// What opening a table derives from the image: where its live records are
// and its walks of the indexes chosen.
struct AccessTableWalk {
    std::vector<AccessPlace> places;
    std::vector<std::uint32_t> pageStarts;
    std::map<std::string, AccessIndexWalk> indexes; // by the index's name as the definition spells it
};

// What every table of one file shares: the file's pages and name.
struct AccessSource {
    std::string path;
    AccessImage image;
    unsigned codePage = 1252;
    // The file that was read (st_dev, st_ino), so that a writer can make
    // sure it writes to the same one.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // The walks of the tables opened and ended, by definition page: the
    // next opening of the same table starts from its walk instead of
    // walking the same pages again (an apply after the list build). The
    // image never changes, so neither does what was derived from it.
    mutable std::map<std::uint32_t, AccessTableWalk> walks;
    // The table definitions read, by first page, for the same reason.
    mutable std::map<std::uint32_t, AccessTableDefinition> definitions;
};

class AccessTable {
public:
    AccessTable(AccessTable&&) noexcept;
    AccessTable& operator=(AccessTable&&) noexcept;
    ~AccessTable();

    const std::string& tableName() const { return m_definition.name; }
    const AccessTableDefinition& definition() const { return m_definition; }
    // The number of live records.
    std::size_t recordCount() const { return m_places.size(); }

    // Chooses the index that walking and seeking follow, reading its entries.
    // Fails when there is no index of that name, or its entries do not match
    // the table's records (the file is damaged).
    Status setIndex(const std::string& index);
    // Walks the records in the order the file stores them, with no index
    // (seek() then fails): for tables read whole, such as MSysObjects.
    void useStoredOrder();
    // The index chosen by setIndex(), or null.
    const AccessIndex* index() const { return m_index; }

    // Walks the records in the current index's order, or without an index in
    // the order the table's pages hold them.
    Status moveFirst();
    Status moveNext();
    bool eof() const { return !m_hasRecord; }

    // Finds the first record, in index order, whose first index column equals
    // key (text letter case ignored as LetterCase.h says). noMatch() then
    // tells whether one was found; a failed seek leaves no current record.
    Status seek(const Key& key);
    bool noMatch() const { return !m_hasRecord; }

    // The current record's field, as Recordset gives it. Fails when there is
    // no current record, the column was not opened, or its stored bytes could
    // not be read (naming the table, column and record).
    Result<FieldValue> field(const std::string& column) const;
    Result<std::optional<double>> number(const std::string& column) const;
    Result<std::optional<std::int64_t>> integer(const std::string& column) const;
    Result<std::optional<std::string>> text(const std::string& column) const;
    // The current record's field without a copy; null, with error set, when
    // there is no current record, the column was not opened or its stored
    // bytes could not be read. The field stays as it is until a field of
    // another record is read or the field is noted saved.
    const FieldValue* currentField(const std::string& column, std::string& error) const;
    // Where the current record lives; meaningful only while !eof().
    AccessPlace place() const;
    // The current record's column (opened or not) as it was stored when the
    // file was read: what a writer checks the record still holds before it
    // changes it. Fails when there is no current record or no such column.
    Result<AccessStoredField> stored(const std::string& column) const;
    // Takes note that the current record's column now holds stored, which
    // reads as value (nothing: empty): what a writer saved into the file, which this reading
    // of it does not hold. field() and stored() then give the new value.
    // Fails when there is no current record or no such column.
    Status noteSaved(const std::string& column, const AccessStoredField& stored, std::optional<double> value);

    // The current record's number in the order the table's pages hold the
    // records, from 1; 0 when there is no current record.
    std::int64_t recordNumber() const { return m_hasRecord ? std::int64_t{m_walk.order[m_position]} + 1 : 0; }

    // Whether the seeks so far were answered by the current index's own
    // keys (its entries' leads, AccessLeadKeys.h) without reading every
    // record's code.
    bool seeksByIndexKeys() const;

    // A first-column key of the current index that more than one record
    // holds (text letter case ignored, as a seek compares), as the first of
    // them holds it; nothing when every key is distinct.
    Result<std::optional<std::string>> repeatedKey();

private:
    friend class AccessFile;
    AccessTable(std::shared_ptr<const AccessSource> source, AccessTableDefinition definition,
                std::vector<int> openedSlots);
    // Finds every live record; fails when the file is damaged. Their fields
    // are decoded when first read (valueAt).
    Status load();
    // The record at (page, row) of the table's places.
    std::optional<std::uint32_t> recordAt(std::uint32_t page, unsigned row) const;
    // The field of record in the opened column at position opened, decoded
    // now unless it was the last record's read; null, with error set, when
    // its stored bytes cannot be read.
    const FieldValue* valueAt(std::uint32_t record, std::size_t opened, std::string& error) const;
    int openedIndex(const std::string& column) const;
    // The position of column (opened or not) in the definition's columns;
    // fails when there is no current record or no such column.
    Result<std::size_t> currentColumn(const std::string& column) const;
    std::string recordName(std::uint32_t record) const;
    Status buildSeekKeys();
    // The current index's walk put aside among m_otherWalks, and the walk of
    // index taken from there; false when there is none.
    void putAsideIndexWalk();
    bool takeIndexWalk(const AccessIndex& index);
    Result<FieldValue> decodeStored(std::uint32_t record, const AccessColumn& column, std::size_t& longBytesLeft) const;
    // Splits record into m_split (unless it is the one split last); the
    // problem when it cannot be, else null.
    const char* splitRecord(std::uint32_t record) const;
    // The folded seek key of record's text column, straight from its bytes,
    // when it is Jet 4 / ACE compressed ASCII text; false for anything else
    // (then decoded in full).
    bool asciiTextKey(std::uint32_t record, const AccessColumn& column, std::string& key) const;
    // The folded key of record's text column into key, as buildSeekKeys()
    // keys it; false when the field is empty, cannot be read or is no text.
    bool textKey(std::uint32_t record, const AccessColumn& column, std::string& key) const;
    // The sort order by which index's keys can be sought by their leads
    // (AccessSortCodes.h): a Jet 4 or ACE index on one text column in a
    // General sort order; Unknown for any other.
    AccessSortOrder leadSortOrder(const AccessIndex& index) const;
    // The bytes of a key's number in index's entries: 4 for an index on one
    // Long column, 2 on one Integer column (Jet 4 and ACE); else 0.
    std::size_t entryNumberBytes(const AccessIndex& index) const;
    // The first position in index order whose record holds number, found
    // among the entries' own numbers and confirmed by the record; nothing
    // when they cannot answer (none kept, number out of the column's range,
    // not found or not confirmed), and the seek reads every record's key.
    std::optional<std::uint32_t> seekByEntryNumbers(std::int64_t number) const;
    // Checks the leads against a sample of the records' own codes and keys
    // the records whose entries have no lead by their codes; leaves the
    // leads unused when any sampled key is not what its code gives.
    void checkLeads();
    // The first position in index order whose key is folded (a foldedKey),
    // found by the leads; nothing inside when there is none, and nothing at
    // all when the leads cannot answer (folded is not printable ASCII, or
    // the index's keys cannot be followed).
    std::optional<std::optional<std::uint32_t>> seekByLeads(const std::string& folded);

    std::shared_ptr<const AccessSource> m_source;
    AccessTableDefinition m_definition;
    std::vector<int> m_openedSlots; // positions in the definition's columns
    std::vector<AccessPlace> m_places;
    // For each page, the first of its records among m_places (they are in
    // page order); one more entry ends the last page.
    std::vector<std::uint32_t> m_pageStarts;
    // The opened fields of the record read last, decoded as they are first
    // read: a record's fields are mostly read together, and most records
    // once (a field handed out stays as it is until a field of another
    // record is read). m_fieldState per opened column: 0 not yet read, 1
    // read, 2 unreadable (m_fieldErrors says why).
    mutable std::optional<std::uint32_t> m_fieldsRecord;
    mutable std::vector<FieldValue> m_fields;
    mutable std::vector<std::uint8_t> m_fieldState;
    mutable std::vector<std::string> m_fieldErrors;
    // What noteSaved gave the opened fields: by record * opened columns +
    // the column's place among them.
    std::map<std::size_t, FieldValue> m_savedValues;
    mutable std::size_t m_longBytesLeft = 0;                  // see decodeField
    // The record decodeStored split last, and its fields.
    mutable AccessRowFields m_split;
    mutable std::optional<std::uint32_t> m_splitRecord;
    // What was saved since the file was read: record -> column position -> stored.
    std::map<std::uint32_t, std::map<std::size_t, AccessStoredField>> m_saved;

    const AccessIndex* m_index = nullptr;
    // The current index's walk: its records in index order, and what its
    // seeks found so far.
    AccessIndexWalk m_walk;
    // The walks of the indexes chosen before the current one.
    std::map<std::string, AccessIndexWalk> m_otherWalks;
    // load() succeeded: the walk is handed to the source at the end.
    bool m_walked = false;
    std::uint32_t m_position = 0;
    bool m_hasRecord = false;
};

} // namespace tarvex
