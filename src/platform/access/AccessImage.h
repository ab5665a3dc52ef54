// AccessImage: the bytes of an Access (Jet 3, Jet 4 or ACE) file held in
// memory, and the page-level reading the Access reader does itself rather
// than through libmdb: locating a table's data pages from its usage map,
// finding a live record's bytes (following a moved record's pointer, never
// returning a deleted record), splitting a record into its fields, and
// listing an index's entries in the index's own order.
//
// Every offset read from the file is checked against the page or record it
// must lie in, and every chain of pages is followed at most once per page:
// a damaged or hostile file gives a failure, never a read outside the bytes
// or an endless walk.
#pragma once

#include "platform/db/DatabaseKind.h"
#include "platform/Result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// A column as the table definition describes it.
struct AccessColumn {
    std::string name;
    int type = 0;        // the stored type code (libmdb's MDB_* values)
    int number = 0;      // bit in the null mask; counts deleted columns
    int varNumber = 0;   // slot in the variable-length offset table
    int fixedOffset = 0; // offset of a fixed-length value after the column count
    int size = 0;        // bytes of a fixed-length value, most bytes of a text
    bool fixed = false;
    bool calculated = false; // an expression's result (ACE), not a stored value
};

// Where a record lives: the page and row its table (and its indexes) know it
// by, and where its bytes are now. The two differ for a record that grew and
// was moved, leaving a pointer in its first place.
struct AccessPlace {
    std::uint32_t page = 0;
    std::uint16_t row = 0;
    std::uint32_t livePage = 0;
    std::uint16_t liveRow = 0;
};

// A record's bytes: a range of one page of the image.
struct AccessRowBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// A field as its record stores it, for a writer that must find the record
// unchanged before it writes to it.
struct AccessStoredField {
    bool held = false;    // the record holds the column at all
    bool notNull = false; // the column's null-mask bit
    std::string bytes;    // the stored bytes (of a fixed-length column also when NULL)
    bool operator==(const AccessStoredField&) const = default;
};

// Flags in the high bits of a row table entry. A deleted row, and the new
// place of a moved row (read through the pointer at its first place), carry
// kRowSkipped; the first place of a moved row carries kRowMoved.
inline constexpr unsigned kRowSkipped = 0x8000;
inline constexpr unsigned kRowMoved = 0x4000;

// The bytes of row of a data page held apart from any image (pageSize bytes
// at page), with its row-table flags in flags. Nothing when the page is no
// data page, or the row is not in its row table or lies outside the page; a
// deleted row's place is not checked. The page's owner is not looked at.
std::optional<AccessRowBytes> rowOnPage(const unsigned char* page, std::size_t pageSize, bool jet3, unsigned row,
                                        unsigned& flags);
// Whether bytes lie inside that page, after its row table: checks the place of
// a row that rowOnPage() did not check.
bool liesAmongRows(const unsigned char* page, std::size_t pageSize, bool jet3, AccessRowBytes bytes);

class AccessImage {
public:
    // Takes the file's bytes; kind is Jet3, Jet4 or Ace.
    AccessImage(std::string bytes, DatabaseKind kind);

    DatabaseKind kind() const { return m_kind; }
    bool isJet3() const { return m_kind == DatabaseKind::Jet3; }
    std::size_t pageSize() const { return m_pageSize; }
    std::uint32_t pageCount() const { return m_pageCount; }
    const std::string& bytes() const { return m_bytes; }
    // The start of page n, or null when the file is shorter.
    const unsigned char* page(std::uint32_t n) const;

    // The data pages that the usage map (as stored in the table definition)
    // gives to the table whose definition is on page owner, in page order.
    // Only pages that are data pages of that table are listed; a map that
    // names a page past the end of the file fails (the file was cut short).
    Result<std::vector<std::uint32_t>> dataPages(const unsigned char* map, std::size_t mapSize,
                                                 std::uint32_t owner) const;
    // The number of rows in the row table of data page n (0 for another page).
    std::uint16_t rowCount(std::uint32_t n) const;
    // The live record at (page, row) of the table defined on page owner:
    // nothing for a deleted row, the row a moved row's pointer leads to.
    // Fails when the row table or the pointer leads outside the file.
    Result<std::optional<AccessRowBytes>> liveRow(std::uint32_t owner, AccessPlace& place) const;

    // The bytes of row of data page n whatever table owns it and whatever
    // its flags: where long texts (memos) keep their parts. Nothing when the
    // page is no data page or the row lies outside it.
    std::optional<AccessRowBytes> anyRow(std::uint32_t n, unsigned row) const;

    // Bytes from the definition of the table on page n onward, across its
    // continuation pages: how much a table definition can possibly hold.
    std::size_t definitionBytes(std::uint32_t n) const;

    // The (page << 8 | row) of each entry of the index whose root is page
    // root, in the index's order. Fails, with the text naming the problem,
    // when the pages do not form an index of that table.
    Result<std::vector<std::uint32_t>> indexEntries(std::uint32_t owner, std::uint32_t root) const;

private:
    // The row's bytes and its row-table flags; owner 0 accepts any table.
    std::optional<AccessRowBytes> locate(std::uint32_t n, unsigned row, std::uint32_t owner, unsigned& flags) const;
    // Whether bytes lie inside page n, after its row table.
    bool liesAmongRows(std::uint32_t n, AccessRowBytes bytes) const;

    std::string m_bytes;
    DatabaseKind m_kind;
    std::size_t m_pageSize;
    std::uint32_t m_pageCount;
};

// One record split into its fields, for reading them by column.
class AccessRowFields {
public:
    // Splits row; fails (false) when its count, offsets or null mask do not
    // fit in it. hasVariableColumns: whether the table has any.
    bool split(const AccessImage& image, AccessRowBytes row, bool hasVariableColumns);

    // Whether the record holds the column at all (it does not when it was
    // written before the column was added).
    bool holds(const AccessColumn& column) const;
    // The column's null-mask bit: 1 = not NULL; for Yes/No, the value.
    bool maskBit(const AccessColumn& column) const;
    // The column's stored bytes: nothing when the record does not hold it or
    // its place lies outside the record (for a fixed-length column: outside
    // the record's fixed-length part).
    std::optional<AccessRowBytes> bytes(const AccessColumn& column) const;
    // The column's null-mask byte: null when the record does not hold it.
    const unsigned char* maskByte(const AccessColumn& column) const;
    // The column as stored, for comparing a record before and after.
    AccessStoredField stored(const AccessColumn& column) const;

private:
    AccessRowBytes m_row;
    bool m_jet3 = false;
    unsigned m_columnCount = 0;
    const unsigned char* m_mask = nullptr;
    std::size_t m_dataEnd = 0;
    std::size_t m_fixedEnd = 0; // where the variable-length values begin
    std::vector<unsigned> m_varOffsets;
};

} // namespace tarvex
