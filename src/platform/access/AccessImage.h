// AccessImage: the pages of an Access (Jet 3, Jet 4 or ACE) file, read from
// the file when first asked for and then held for as long as the image lives,
// and the page-level reading the Access reader does itself rather than
// through libmdb: locating a table's data pages from its usage map,
// finding a live record's bytes (following a moved record's pointer, never
// returning a deleted record), splitting a record into its fields, and
// listing an index's entries in the index's own order.
//
// Only the pages a caller asks for are read (the header, the list of tables,
// one table's definition, usage map, data and index pages): memory follows
// what is read, not the file's size. A page once read never changes while
// the image lives, so everything read from it stays valid and consistent
// with what was checked. The file's size is taken at the open: a page past
// it (the file grew since) is outside the file, as is a page the file no
// longer holds (it shrank) or cannot give (a read error), and every page of a
// file put at the path in its place (another device or inode).
//
// The file is held open only while a KeptOpen lives (a burst of reads: an
// open, a table's load, an index's walk); a page read outside one opens the
// file for that read alone. Between them nothing holds the file, so that
// another program looking for the file's users finds none here.
//
// Every offset read from the file is checked against the page or record it
// must lie in, and every chain of pages is followed at most once per page:
// a damaged or hostile file gives a failure, never a read outside the pages
// or an endless walk. An image is used from one thread at a time.
#pragma once

#include "platform/Result.h"
#include "platform/access/JetFormat.h"
#include "platform/db/DatabaseKind.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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
    int resultType = 0;      // a calculated column's: the type code of its result, 0 when unknown
    int scale = 0;           // a Decimal column's digits after the point
    // A text column's sort order (Jet 4 and ACE): its locale and version.
    std::uint16_t sortLocale = 0;
    std::uint8_t sortVersion = 0;
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

// The bytes of row of a data page held apart from any image (a page of
// format at page), with its row-table flags in flags. Nothing when the page
// is no data page, or the row is not in its row table or lies outside the
// page; a deleted row's place is not checked. The page's owner is not looked
// at.
std::optional<AccessRowBytes> rowOnPage(const unsigned char* page, const JetFormat& format, unsigned row,
                                        unsigned& flags);
// For each row of the row table of data page p (of format): 1 when it is a
// record in its place (neither deleted nor moved, its bytes as rowOnPage()
// checks them), else 0. Empty for a page that is no data page.
void rowsInPlace(const unsigned char* p, const JetFormat& format, std::vector<std::uint8_t>& inPlace);
// Whether bytes lie inside that page, after its row table: checks the place of
// a row that rowOnPage() did not check.
bool liesAmongRows(const unsigned char* page, const JetFormat& format, AccessRowBytes bytes);
class AccessImage {
public:
    // The file at path, which is the file fd has open (st_dev device,
    // st_ino inode), of size bytes at the open, in the format of kind
    // (Jet3, Jet4 or Ace). The image takes fd over and closes it when no
    // KeptOpen is left.
    AccessImage(std::string path, int fd, std::uint64_t size, std::uint64_t device, std::uint64_t inode,
                DatabaseKind kind);
    AccessImage(AccessImage&&) noexcept;
    AccessImage& operator=(AccessImage&&) noexcept;
    ~AccessImage();

    // Keeps the file open while it lives, for many reads in a row.
    class KeptOpen {
    public:
        explicit KeptOpen(const AccessImage& image);
        KeptOpen(const KeptOpen&) = delete;
        KeptOpen& operator=(const KeptOpen&) = delete;
        ~KeptOpen();

    private:
        const AccessImage& m_image;
    };

    const JetFormat& format() const { return *m_format; }
    DatabaseKind kind() const { return m_format->kind; }
    bool isJet3() const { return m_format->isJet3(); }
    std::size_t pageSize() const { return m_format->pageSize; }
    std::uint32_t pageCount() const { return m_pageCount; }
    // The file's size in bytes at the open.
    std::uint64_t size() const { return m_size; }
    // The start of page n, read now unless read before; null when the file
    // is shorter or the page cannot be read.
    const unsigned char* page(std::uint32_t n) const;
    // Where in the file the byte at p lies, p being in a page this image
    // handed out; nothing for any other pointer.
    std::optional<std::uint64_t> fileOffset(const unsigned char* p) const;
    // The bytes read from the file so far, and the pages held.
    std::uint64_t bytesRead() const { return m_bytesRead; }
    std::size_t pagesHeld() const { return m_pagesHeld; }
    // Whether a read found the path gone or naming another file.
    bool replaced() const { return m_replaced; }

    // The data pages that the usage map (as stored in the table definition)
    // gives to the table whose definition is on page owner, in page order.
    // Only pages that are data pages of that table are listed; a map that
    // names a page past the end of the file fails (the file was cut short).
    // Index pages of the table read on the way (between its data pages) are
    // held too.
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
    // when the pages do not form an index of that table. With leads, also
    // each entry's leadHash() of its key's lead (AccessSortCodes.h: the
    // bytes after a 0x7F flag up to the first 0x01), or kNoLead for a key
    // without one; for an index on a whole-number column, numberBytes of
    // them a key (the number big-endian, its sign bit flipped), each key's
    // number bytes after the 0x7F flag as one big-endian number instead,
    // which orders as the keys do. expected: how many entries the index
    // likely has (room is made for them).
    Result<std::vector<std::uint32_t>> indexEntries(std::uint32_t owner, std::uint32_t root,
                                                    std::vector<std::uint64_t>* leads = nullptr,
                                                    std::size_t expected = 0, std::size_t numberBytes = 0) const;

private:
    // The row's bytes and its row-table flags; owner 0 accepts any table.
    std::optional<AccessRowBytes> locate(std::uint32_t n, unsigned row, std::uint32_t owner, unsigned& flags) const;
    // Whether bytes lie inside page n, after its row table.
    bool liesAmongRows(std::uint32_t n, AccessRowBytes bytes) const;
    // Memory for pages, from newBlock().
    struct FreeBlock {
        void operator()(unsigned char* block) const;
    };
    using Block = std::unique_ptr<unsigned char[], FreeBlock>;
    // Room for count pages; a large run is laid on huge pages where the
    // system offers them, which makes reading a large table far fewer
    // page faults.
    Block newBlock(std::uint32_t count) const;
    // The count pages from first on read into one buffer, not yet held;
    // null when any of them cannot be read.
    Block readPages(std::uint32_t first, std::uint32_t count) const;
    // Holds block, whose pages from first on are those that where says;
    // where[i] being the page at block + i * pageSize, or nothing.
    void hold(Block block, const std::vector<std::uint32_t>& pages) const;
    // Holds of block the pages that kept names (kept[i] being the page at
    // block + i * pageSize, or UINT32_MAX for one let go; keeps of them
    // named): the whole block when they are half of it or more, else each
    // by itself.
    void holdSome(Block block, const std::vector<std::uint32_t>& kept, std::uint32_t keeps) const;
    // The page if it was read, else null.
    const unsigned char* held(std::uint32_t n) const { return m_pages[n]; }

    // Opens the file again for a read unless it is open; false when it
    // cannot be, or the path names another file now.
    bool reopen() const;
    void closeUnlessKept() const;

    const JetFormat* m_format;
    std::string m_path;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    mutable int m_fd = -1;
    mutable int m_keptOpen = 0;
    mutable bool m_replaced = false;
    std::uint64_t m_size = 0;
    std::uint32_t m_pageCount = 0;
    // Each page read, in the blocks read; null for a page not read.
    mutable std::vector<const unsigned char*> m_pages;
    mutable std::vector<Block> m_blocks;
    mutable std::size_t m_pagesHeld = 0;
    mutable std::uint64_t m_bytesRead = 0;
};

// One record split into its fields, for reading them by column.
class AccessRowFields {
public:
    // Splits row, a record of format; fails (false) when its count, offsets
    // or null mask do not fit in it. hasVariableColumns: whether the table
    // has any.
    bool split(const JetFormat& format, AccessRowBytes row, bool hasVariableColumns);
    bool split(const AccessImage& image, AccessRowBytes row, bool hasVariableColumns)
    {
        return split(image.format(), row, hasVariableColumns);
    }

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
    const JetFormat* m_format = &kJet4Format;
    unsigned m_columnCount = 0;
    const unsigned char* m_mask = nullptr;
    std::size_t m_dataEnd = 0;
    std::size_t m_fixedEnd = 0; // where the variable-length values begin
    std::vector<unsigned> m_varOffsets;
};

} // namespace tarvex
