// Page-level reading of an Access file, page by page as asked for: data
// pages, records, moved records, fields and index entries, every offset
// checked.
#include "platform/access/AccessImage.h"

#include "platform/access/AccessSortCodes.h"
#include "platform/bytes/LittleEndian.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace tarvex {

namespace {

constexpr unsigned char kDataPage = jet_page::kData;
constexpr unsigned char kDefinitionPage = jet_page::kDefinition;
constexpr unsigned char kIndexNodePage = jet_page::kIndexNode;
constexpr unsigned char kIndexLeafPage = jet_page::kIndexLeaf;
constexpr unsigned char kUsageMapPage = jet_page::kUsageMap;

constexpr unsigned kRowOffsetMask = 0x1FFF;

// The deepest index tree followed; Access's own are a few levels deep.
constexpr int kMaxIndexDepth = 32;

std::string pageText(std::uint32_t page)
{
    return "page " + std::to_string(page);
}

} // namespace

AccessImage::AccessImage(std::string path, int fd, std::uint64_t size, std::uint64_t device, std::uint64_t inode,
                         DatabaseKind kind)
    : m_format(&jetFormat(kind))
    , m_path(std::move(path))
    , m_device(device)
    , m_inode(inode)
    , m_fd(fd)
    , m_size(size)
    , m_pageCount(static_cast<std::uint32_t>(std::min<std::uint64_t>(size / m_format->pageSize, UINT32_MAX)))
    , m_pages(m_pageCount, nullptr)
{
}

AccessImage::AccessImage(AccessImage&& other) noexcept
    : m_format(other.m_format)
    , m_path(std::move(other.m_path))
    , m_device(other.m_device)
    , m_inode(other.m_inode)
    , m_fd(std::exchange(other.m_fd, -1))
    , m_keptOpen(other.m_keptOpen)
    , m_replaced(other.m_replaced)
    , m_size(other.m_size)
    , m_pageCount(other.m_pageCount)
    , m_pages(std::move(other.m_pages))
    , m_blocks(std::move(other.m_blocks))
    , m_pagesHeld(other.m_pagesHeld)
    , m_bytesRead(other.m_bytesRead)
{
}

AccessImage& AccessImage::operator=(AccessImage&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_format = other.m_format;
        m_path = std::move(other.m_path);
        m_device = other.m_device;
        m_inode = other.m_inode;
        m_fd = std::exchange(other.m_fd, -1);
        m_keptOpen = other.m_keptOpen;
        m_replaced = other.m_replaced;
        m_size = other.m_size;
        m_pageCount = other.m_pageCount;
        m_pages = std::move(other.m_pages);
        m_blocks = std::move(other.m_blocks);
        m_pagesHeld = other.m_pagesHeld;
        m_bytesRead = other.m_bytesRead;
    }
    return *this;
}

AccessImage::~AccessImage()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

AccessImage::KeptOpen::KeptOpen(const AccessImage& image)
    : m_image(image)
{
    ++m_image.m_keptOpen;
}

AccessImage::KeptOpen::~KeptOpen()
{
    --m_image.m_keptOpen;
    m_image.closeUnlessKept();
}

void AccessImage::closeUnlessKept() const
{
    if (m_keptOpen == 0 && m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool AccessImage::reopen() const
{
    if (m_fd >= 0)
        return true;
    int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_replaced = m_replaced || errno == ENOENT;
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_dev) != m_device ||
        static_cast<std::uint64_t>(info.st_ino) != m_inode) {
        ::close(fd);
        m_replaced = true;
        return false;
    }
    m_fd = fd;
    return true;
}

void AccessImage::FreeBlock::operator()(unsigned char* block) const
{
    std::free(block);
}

AccessImage::Block AccessImage::newBlock(std::uint32_t count) const
{
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    std::size_t size = pageSize() * count;
    if (size < kHugePage)
        return Block(static_cast<unsigned char*>(std::malloc(size)));
    std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    auto* block = static_cast<unsigned char*>(std::aligned_alloc(kHugePage, rounded));
    if (block)
        ::madvise(block, rounded, MADV_HUGEPAGE);
    return Block(block);
}

AccessImage::Block AccessImage::readPages(std::uint32_t first, std::uint32_t count) const
{
    if (first >= m_pageCount || count > m_pageCount - first)
        return nullptr;
    std::size_t size = pageSize() * count;
    auto at = static_cast<std::uint64_t>(first) * pageSize();
    Block buffer = newBlock(count);
    if (!buffer)
        return nullptr;
    if (!reopen())
        return nullptr;
    struct Closer {
        const AccessImage& image;
        ~Closer() { image.closeUnlessKept(); }
    } closer{*this};
    // All the pages or nothing: a file that shrank since the open no longer
    // holds them.
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = ::pread(m_fd, buffer.get() + done, size - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return nullptr;
        done += static_cast<std::size_t>(got);
        m_bytesRead += static_cast<std::uint64_t>(got);
    }
    return buffer;
}

void AccessImage::hold(Block block, const std::vector<std::uint32_t>& pages) const
{
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i] >= m_pageCount || m_pages[pages[i]])
            continue;
        m_pages[pages[i]] = block.get() + i * pageSize();
        ++m_pagesHeld;
    }
    m_blocks.push_back(std::move(block));
}

void AccessImage::holdSome(Block block, const std::vector<std::uint32_t>& kept, std::uint32_t keeps) const
{
    if (keeps * 2 >= kept.size()) {
        hold(std::move(block), kept);
        return;
    }
    // Mostly pages not asked for: those asked for are held on their own.
    for (std::size_t k = 0; k < kept.size(); ++k) {
        if (kept[k] == UINT32_MAX)
            continue;
        Block one = newBlock(1);
        if (!one)
            continue;
        std::memcpy(one.get(), block.get() + k * pageSize(), pageSize());
        hold(std::move(one), {kept[k]});
    }
}

const unsigned char* AccessImage::page(std::uint32_t n) const
{
    if (n >= m_pageCount)
        return nullptr;
    if (!m_pages[n]) {
        Block read = readPages(n, 1);
        if (!read)
            return nullptr;
        hold(std::move(read), {n});
    }
    return m_pages[n];
}

std::optional<std::uint64_t> AccessImage::fileOffset(const unsigned char* p) const
{
    for (std::uint32_t n = 0; n < m_pageCount; ++n)
        if (m_pages[n] && p >= m_pages[n] && p < m_pages[n] + pageSize())
            return static_cast<std::uint64_t>(n) * pageSize() + static_cast<std::uint64_t>(p - m_pages[n]);
    return std::nullopt;
}

std::uint16_t AccessImage::rowCount(std::uint32_t n) const
{
    const unsigned char* p = page(n);
    if (!p || p[0] != kDataPage)
        return 0;
    std::size_t at = m_format->rowCountAt;
    std::size_t fits = (pageSize() - at - 2) / 2;
    return static_cast<std::uint16_t>(std::min<std::size_t>(get16(p + at), fits));
}

Result<std::vector<std::uint32_t>> AccessImage::dataPages(const unsigned char* map, std::size_t mapSize,
                                                          std::uint32_t owner) const
{
    // The pages the map names, in page order; a map of no known form names
    // every page, and the table's are found by their owner.
    std::vector<std::uint32_t> named;
    bool pastEnd = false;
    auto name = [&](std::uint64_t n) {
        if (n >= m_pageCount)
            pastEnd = true;
        else
            named.push_back(static_cast<std::uint32_t>(n));
    };
    bool everyPage = false;
    if (map && mapSize >= 5 && map[0] == 0) {
        // An inline map: a first page number, then one bit per page.
        std::uint64_t first = get32(map + 1);
        for (std::size_t bit = 0; bit < (mapSize - 5) * 8 && !pastEnd; ++bit)
            if (map[5 + bit / 8] & (1u << (bit % 8)))
                name(first + bit);
    } else if (map && mapSize >= 5 && map[0] == 1) {
        // A map of map pages, each a bitmap of the pages of its own range.
        std::uint64_t perMapPage = (pageSize() - 4) * 8;
        for (std::size_t slot = 0; slot < (mapSize - 1) / 4 && !pastEnd; ++slot) {
            std::uint32_t mapPage = get32(map + 1 + slot * 4);
            if (mapPage == 0)
                continue;
            const unsigned char* bits = page(mapPage);
            if (!bits) {
                pastEnd = true;
                break;
            }
            if (bits[0] != kUsageMapPage)
                continue;
            for (std::uint64_t bit = 0; bit < perMapPage && !pastEnd; ++bit)
                if (bits[4 + bit / 8] & (1u << (bit % 8)))
                    name(slot * perMapPage + bit);
        }
    } else {
        everyPage = true;
    }
    if (pastEnd)
        return Result<std::vector<std::uint32_t>>::failure("its pages run past the end of the file");

    // Read in runs of neighbouring pages, one read each; only the pages that
    // are data pages of the table are held (a walk over every page lets the
    // others go, so a table without a map does not hold the file). A run
    // also takes in a gap of a few pages between two of the table's pages:
    // there a table written record by record keeps its index pages, which
    // are held too, so that walking an index reads none of them one by one.
    // Each page of the file is read at most once here, gaps included.
    constexpr std::uint32_t kRun = 512;
    constexpr std::uint32_t kGap = 4;
    std::vector<std::uint32_t> pages;
    std::uint32_t total = everyPage ? m_pageCount : static_cast<std::uint32_t>(named.size());
    auto pageAt = [&](std::uint32_t i) { return everyPage ? i : named[i]; };
    auto heldAmong = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t n = from; n <= to; ++n)
            if (m_pages[n])
                return true;
        return false;
    };
    std::vector<bool> isNamed;
    for (std::uint32_t i = 0; i < total;) {
        std::uint32_t first = pageAt(i);
        std::uint32_t count = 1;
        std::uint32_t taken = 1; // of the pages named
        while (!m_pages[first] && i + taken < total && pageAt(i + taken) - first < kRun &&
               pageAt(i + taken) - (first + count) <= kGap && !heldAmong(first + count, pageAt(i + taken))) {
            count = pageAt(i + taken) - first + 1;
            ++taken;
        }
        isNamed.assign(count, false);
        for (std::uint32_t k = 0; k < taken; ++k)
            isNamed[pageAt(i + k) - first] = true;
        Block block = m_pages[first] ? nullptr : readPages(first, count);
        if (!m_pages[first] && !block) {
            // One of the run is gone: read them one by one to find which.
            count = 1;
            taken = 1;
            block = readPages(first, 1);
            if (!block)
                return Result<std::vector<std::uint32_t>>::failure("its pages run past the end of the file");
        }
        std::vector<std::uint32_t> kept(count, UINT32_MAX);
        std::uint32_t keeps = 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            const unsigned char* p = block ? block.get() + k * pageSize() : m_pages[first + k];
            bool ours = get32(p + m_format->ownerAt) == owner;
            if (isNamed[k] && p[0] == kDataPage && ours) {
                pages.push_back(first + k);
                kept[k] = first + k;
                ++keeps;
            } else if (!isNamed[k] && (p[0] == kIndexLeafPage || p[0] == kIndexNodePage) && ours) {
                kept[k] = first + k;
                ++keeps;
            }
        }
        if (block)
            holdSome(std::move(block), kept, keeps);
        i += taken;
    }
    return pages;
}

namespace {

// The rows in the row table of data page p, as many as fit in the page.
std::size_t rowsOnPage(const unsigned char* p, const JetFormat& format)
{
    return std::min<std::size_t>(get16(p + format.rowCountAt), (format.pageSize - format.rowCountAt - 2) / 2);
}

// Where row (one of rows) of data page p starts and ends, and its flags;
// false when a row that is not deleted lies outside the page or in its row
// table. A deleted row's place is never read, so it is not checked.
bool rowBounds(const unsigned char* p, const JetFormat& format, std::size_t rows, unsigned row, unsigned& flags,
               std::size_t& start, std::size_t& end)
{
    std::size_t rowCountAt = format.rowCountAt;
    std::size_t pageSize = format.pageSize;
    unsigned entry = get16(p + rowCountAt + 2 + row * 2);
    flags = entry & (kRowSkipped | kRowMoved);
    start = entry & kRowOffsetMask;
    end = row == 0 ? pageSize : get16(p + rowCountAt + row * 2) & kRowOffsetMask;
    std::size_t tableEnd = rowCountAt + 2 + rows * 2;
    return (flags & kRowSkipped) != 0 || (start >= tableEnd && start <= end && end <= pageSize);
}

} // namespace

std::optional<AccessRowBytes> rowOnPage(const unsigned char* p, const JetFormat& format, unsigned row, unsigned& flags)
{
    if (!p || p[0] != kDataPage)
        return std::nullopt;
    std::size_t rows = rowsOnPage(p, format);
    std::size_t start = 0;
    std::size_t end = 0;
    if (row >= rows || !rowBounds(p, format, rows, row, flags, start, end))
        return std::nullopt;
    if (start > format.pageSize)
        start = format.pageSize;
    return AccessRowBytes{p + start, end >= start ? end - start : 0};
}

void rowsInPlace(const unsigned char* p, const JetFormat& format, std::vector<std::uint8_t>& inPlace)
{
    inPlace.clear();
    if (!p || p[0] != kDataPage)
        return;
    std::size_t rows = rowsOnPage(p, format);
    inPlace.resize(rows);
    for (unsigned row = 0; row < rows; ++row) {
        unsigned flags = 0;
        std::size_t start = 0;
        std::size_t end = 0;
        inPlace[row] = rowBounds(p, format, rows, row, flags, start, end) && (flags & (kRowSkipped | kRowMoved)) == 0;
    }
}

std::optional<AccessRowBytes> AccessImage::locate(std::uint32_t n, unsigned row, std::uint32_t owner,
                                                  unsigned& flags) const
{
    const unsigned char* p = page(n);
    if (!p || (owner != 0 && get32(p + m_format->ownerAt) != owner))
        return std::nullopt;
    return rowOnPage(p, *m_format, row, flags);
}

bool liesAmongRows(const unsigned char* p, const JetFormat& format, AccessRowBytes bytes)
{
    std::size_t rowCountAt = format.rowCountAt;
    std::size_t pageSize = format.pageSize;
    std::size_t rows = std::min<std::size_t>(get16(p + rowCountAt), (pageSize - rowCountAt - 2) / 2);
    std::size_t tableEnd = rowCountAt + 2 + rows * 2;
    return bytes.data >= p + tableEnd && bytes.data <= p + pageSize &&
           bytes.size <= static_cast<std::size_t>(p + pageSize - bytes.data);
}

bool AccessImage::liesAmongRows(std::uint32_t n, AccessRowBytes bytes) const
{
    const unsigned char* p = page(n);
    return p && tarvex::liesAmongRows(p, *m_format, bytes);
}

std::optional<AccessRowBytes> AccessImage::anyRow(std::uint32_t n, unsigned row) const
{
    unsigned flags = 0;
    std::optional<AccessRowBytes> bytes = locate(n, row, 0, flags);
    if (!bytes || !liesAmongRows(n, *bytes))
        return std::nullopt;
    return bytes;
}

Result<std::optional<AccessRowBytes>> AccessImage::liveRow(std::uint32_t owner, AccessPlace& place) const
{
    using R = Result<std::optional<AccessRowBytes>>;
    unsigned flags = 0;
    std::optional<AccessRowBytes> row = locate(place.page, place.row, owner, flags);
    if (!row)
        return R::failure(pageText(place.page) + " row " + std::to_string(place.row) + " is not a record of the table");
    place.livePage = place.page;
    place.liveRow = place.row;
    if (flags & kRowSkipped)
        return std::optional<AccessRowBytes>();
    if (!(flags & kRowMoved))
        return row;
    // A moved record: its first place holds the row number and the page
    // where it now lives.
    if (row->size < 4)
        return R::failure(pageText(place.page) + " row " + std::to_string(place.row) + ": the pointer is cut short");
    std::uint32_t target = get32(row->data) >> 8;
    unsigned targetRow = row->data[0];
    unsigned targetFlags = 0;
    std::optional<AccessRowBytes> moved = locate(target, targetRow, owner, targetFlags);
    // The new place carries the flag that makes the page walk skip it, so
    // its bounds were not checked by locate().
    if (!moved || (targetFlags & kRowMoved) || moved->size == 0 || !liesAmongRows(target, *moved))
        return R::failure(pageText(place.page) + " row " + std::to_string(place.row) +
                          " points to a place that holds no record");
    place.livePage = target;
    place.liveRow = static_cast<std::uint16_t>(targetRow);
    return moved;
}

std::size_t AccessImage::definitionBytes(std::uint32_t n) const
{
    std::size_t total = 0;
    std::vector<bool> seen(m_pageCount, false);
    for (const unsigned char* p = page(n); p && p[0] == kDefinitionPage && !seen[n]; p = page(n)) {
        seen[n] = true;
        total += total == 0 ? pageSize() : pageSize() - 8;
        n = get32(p + m_format->ownerAt);
        if (n == 0)
            break;
    }
    return total;
}

Result<std::vector<std::uint32_t>> AccessImage::indexEntries(std::uint32_t owner, std::uint32_t root,
                                                             std::vector<std::uint64_t>* leads,
                                                             std::size_t expected, std::size_t numberBytes) const
{
    using R = Result<std::vector<std::uint32_t>>;
    const JetFormat& layout = *m_format;
    // The ends of the entries of an index page (into ends), from the bitmap
    // that marks where each entry after the first begins.
    std::vector<std::size_t> ends;
    auto entryEnds = [&](const unsigned char* p) {
        ends.clear();
        std::size_t room = pageSize() - layout.entriesAt;
        // The bitmap eight bytes at a time: a page of long keys has few
        // bits set. False once a bit lies past the page.
        auto addEnds = [&](std::size_t at, std::uint64_t bits) {
            for (; bits != 0; bits &= bits - 1) {
                std::size_t bit = (at - layout.entryMaskAt) * 8 + static_cast<std::size_t>(__builtin_ctzll(bits));
                if (bit > room)
                    return false;
                ends.push_back(layout.entriesAt + bit);
            }
            return true;
        };
        std::size_t at = layout.entryMaskAt;
        for (; at + 8 <= layout.entriesAt; at += 8) {
            std::uint64_t bits = readLittleEndian(p + at, 8);
            // Bit 0 of the first byte stands for no entry's end.
            if (at == layout.entryMaskAt)
                bits &= ~std::uint64_t{1};
            if (!addEnds(at, bits))
                return;
        }
        if (at < layout.entriesAt) {
            std::uint64_t bits = readLittleEndian(p + at, layout.entriesAt - at);
            addEnds(at, at == layout.entryMaskAt ? bits & ~std::uint64_t{1} : bits);
        }
    };
    auto big32 = [](const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
               static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
    };

    // Down the first entries to the first leaf.
    std::uint32_t n = root;
    for (int depth = 0;; ++depth) {
        const unsigned char* p = page(n);
        if (p && depth == 0 && p[0] == kDataPage)
            return std::vector<std::uint32_t>(); // an index that was never filled
        if (!p || (p[0] != kIndexNodePage && p[0] != kIndexLeafPage) || get32(p + layout.ownerAt) != owner ||
            depth > kMaxIndexDepth)
            return R::failure(pageText(n) + " is not a page of the index");
        if (p[0] == kIndexLeafPage)
            break;
        entryEnds(p);
        if (ends.empty() || ends[0] - layout.entriesAt < 4)
            return R::failure(pageText(n) + " of the index holds no entries");
        n = big32(p + ends[0] - 4);
    }

    // Along the leaves, each entry ending in its record's page and row.
    std::vector<std::uint32_t> entries;
    entries.reserve(expected);
    if (leads)
        leads->reserve(expected);
    std::vector<bool> seen(m_pageCount, false);
    while (n != 0) {
        const unsigned char* p = page(n);
        if (!p || p[0] != kIndexLeafPage || get32(p + layout.ownerAt) != owner || seen[n])
            return R::failure(pageText(n) + " is not a leaf of the index");
        seen[n] = true;
        entryEnds(p);
        // Entries after the first leave out the bytes they share with it.
        std::size_t prefix = p[layout.prefixAt];
        std::size_t start = layout.entriesAt;
        const unsigned char* first = p + layout.entriesAt;
        for (std::size_t i = 0; i < ends.size(); ++i) {
            std::size_t length = ends[i] - start;
            std::size_t full = i == 0 ? length : prefix + length;
            if (i == 0 && (length < 4 || prefix > length))
                return R::failure(pageText(n) + ": an index entry is cut short");
            if (full < 4)
                return R::failure(pageText(n) + ": an index entry is cut short");
            // The pointer is the entry's last four bytes: its own bytes when
            // it has four, else partly those it shares with the first entry.
            if (length >= 4) {
                entries.push_back(big32(p + ends[i] - 4));
            } else {
                unsigned char pointer[4];
                for (std::size_t k = 0; k < 4; ++k) {
                    std::size_t at = full - 4 + k;
                    pointer[k] = at >= prefix ? p[start + at - prefix] : first[at];
                }
                entries.push_back(big32(pointer));
            }
            // The key: the bytes shared with the first entry, then its own.
            std::size_t keyLength = full - 4;
            std::size_t shared = i == 0 ? 0 : std::min(prefix, keyLength);
            const unsigned char* own = p + start - shared;
            if (leads && numberBytes > 0) {
                // A present number's key: the flag, then the number.
                auto keyByte = [&](std::size_t k) { return k < shared ? first[k] : own[k]; };
                std::uint64_t number = 0;
                bool present = keyLength == 1 + numberBytes && keyByte(0) == 0x7F;
                for (std::size_t k = 1; present && k <= numberBytes; ++k)
                    number = number << 8 | keyByte(k);
                leads->push_back(present ? number : kNoLead);
            } else if (leads) {
                // Its lead follows the flag of a present value up to 0x01.
                LeadHasher hasher;
                bool ended = false;
                // Hashes from up to to, or up to a 0x01 before it.
                auto addLead = [&](const unsigned char* from, const unsigned char* to) {
                    const void* end = std::memchr(from, 0x01, static_cast<std::size_t>(to - from));
                    ended = end != nullptr;
                    hasher.add(from, ended ? static_cast<const unsigned char*>(end) : to);
                };
                if (shared > 1)
                    addLead(first + 1, first + shared);
                if (!ended && keyLength > std::max<std::size_t>(shared, 1))
                    addLead(own + std::max<std::size_t>(shared, 1), own + keyLength);
                unsigned char flag = keyLength == 0 ? 0 : shared > 0 ? first[0] : own[0];
                leads->push_back(flag == 0x7F && ended ? hasher.value() : kNoLead);
            }
            start = ends[i];
        }
        n = get32(p + layout.nextLeafAt);
    }
    return entries;
}

const unsigned char* AccessRowFields::maskByte(const AccessColumn& column) const
{
    if (!holds(column))
        return nullptr;
    return m_mask + column.number / 8;
}

AccessStoredField AccessRowFields::stored(const AccessColumn& column) const
{
    AccessStoredField field;
    field.held = holds(column);
    field.notNull = maskBit(column);
    if (std::optional<AccessRowBytes> value = bytes(column))
        field.bytes.assign(reinterpret_cast<const char*>(value->data), value->size);
    return field;
}

bool AccessRowFields::split(const JetFormat& format, AccessRowBytes row, bool hasVariableColumns)
{
    m_row = row;
    m_format = &format;
    m_varOffsets.clear();
    const unsigned char* d = row.data;
    std::size_t size = row.size;
    std::size_t countSize = format.countSize;
    if (size < countSize)
        return false;
    m_columnCount = static_cast<unsigned>(readLittleEndian(d, countSize));
    std::size_t maskSize = (m_columnCount + 7) / 8;
    if (size < countSize + maskSize)
        return false;
    m_mask = d + size - maskSize;
    m_dataEnd = size - maskSize;
    m_fixedEnd = m_dataEnd;
    if (!hasVariableColumns)
        return true;
    if (!format.isJet3()) {
        // The variable-length count, then one offset per column and the end
        // of the data, from the mask backwards.
        if (m_dataEnd < countSize + 2)
            return false;
        unsigned count = get16(d + m_dataEnd - 2);
        std::size_t table = 2 + (static_cast<std::size_t>(count) + 1) * 2;
        if (m_dataEnd < countSize + table)
            return false;
        m_varOffsets.resize(count + 1);
        for (unsigned i = 0; i <= count; ++i)
            m_varOffsets[i] = get16(d + m_dataEnd - 4 - 2 * i);
        m_dataEnd -= table;
        m_fixedEnd = m_varOffsets[0];
        return true;
    }
    // Jet 3 keeps one-byte offsets, with a table of the columns at which the
    // offsets pass another 256 bytes.
    if (m_dataEnd < countSize + 1)
        return false;
    std::size_t last = size - 1;
    unsigned count = d[m_dataEnd - 1];
    std::size_t jumps = (size - 1) / 256;
    if (last < maskSize + jumps + 1)
        return false;
    std::size_t pointer = last - maskSize - jumps - 1;
    if (pointer < count + countSize)
        return false;
    if ((pointer - count) / 256 < jumps)
        --jumps;
    std::size_t used = 0;
    for (unsigned i = 0; i <= count; ++i) {
        while (used < jumps && i == d[last - maskSize - used - 1])
            ++used;
        m_varOffsets.push_back(d[pointer - i] + static_cast<unsigned>(used) * 256);
    }
    m_dataEnd = pointer - count;
    m_fixedEnd = m_varOffsets[0];
    return true;
}

bool AccessRowFields::holds(const AccessColumn& column) const
{
    if (column.number < 0 || static_cast<unsigned>(column.number) >= m_columnCount)
        return false;
    if (column.fixed)
        return true;
    return column.varNumber >= 0 && static_cast<std::size_t>(column.varNumber) + 1 < m_varOffsets.size();
}

bool AccessRowFields::maskBit(const AccessColumn& column) const
{
    if (!holds(column))
        return false;
    return (m_mask[column.number / 8] >> (column.number % 8)) & 1;
}

std::optional<AccessRowBytes> AccessRowFields::bytes(const AccessColumn& column) const
{
    if (!holds(column))
        return std::nullopt;
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t countSize = m_format->countSize;
    if (column.fixed) {
        if (column.fixedOffset < 0 || column.size < 0)
            return std::nullopt;
        start = countSize + static_cast<std::size_t>(column.fixedOffset);
        end = start + static_cast<std::size_t>(column.size);
        // The variable-length values begin where the fixed-length ones end.
        if (end > m_fixedEnd)
            return std::nullopt;
    } else {
        start = m_varOffsets[static_cast<std::size_t>(column.varNumber)];
        end = m_varOffsets[static_cast<std::size_t>(column.varNumber) + 1];
    }
    if (start < countSize || start > end || end > m_dataEnd)
        return std::nullopt;
    return AccessRowBytes{m_row.data + start, end - start};
}

} // namespace tarvex
