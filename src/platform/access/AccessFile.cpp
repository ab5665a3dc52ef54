// Opening an Access file: reading its pages as they are needed, refusing
// what cannot be read, the list of tables from MSysObjects and the table
// definitions.
#include "platform/access/AccessFile.h"

#include "platform/access/AccessProperties.h"
#include "platform/access/AccessValue.h"
#include "platform/bytes/LittleEndian.h"
#include "platform/text/TextHelpers.h"

#include <mdbtools.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace tarvex {

struct AccessFile::Handle {
    MdbHandle* mdb = nullptr;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

namespace {

// MSysObjects' types of a table and of the two kinds of linked table.
constexpr int kTable = 1;
constexpr int kOdbcLink = 4;
constexpr int kAccessLink = 6;
// MSysObjects' flags of the system's own tables.
constexpr std::uint32_t kSystemFlags = 0x80000002u;
// MSysObjects, the list of every object, is defined on page 2.
constexpr std::uint32_t kCatalogPage = 2;
// The start of a file that tells its kind.
constexpr std::uint64_t kHeaderBytes = 0x20;

// Far more columns and indexes than Access allows (255 and 32).
constexpr std::uint32_t kMaxColumns = 256;
constexpr std::uint32_t kMaxIndexes = 256;

// Whether the definition on page can hold the columns and indexes it counts.
// libmdb trusts the counts: with a damaged one it would read past its page
// buffers or loop for billions of entries, so they are checked first.
bool definitionFits(const AccessImage& image, std::uint32_t page)
{
    const unsigned char* p = image.page(page);
    if (!p || p[0] != jet_page::kDefinition)
        return false;
    const JetFormat& at = image.format();
    std::uint32_t columns = get16(p + at.columnCountAt);
    std::uint32_t indexes = get32(p + at.indexCountAt);
    std::uint32_t realIndexes = get32(p + at.realIndexCountAt);
    if (columns == 0 || columns > kMaxColumns || indexes > kMaxIndexes || realIndexes > kMaxIndexes)
        return false;
    std::size_t needed = at.columnsStart + realIndexes * (at.realIndexEntry + at.realIndexDefinition) +
                         columns * (at.columnEntry + at.nameLength) + indexes * at.indexEntry;
    return needed <= image.definitionBytes(page);
}

// Why the columns of definition, whose first page is page, cannot describe
// the records of a sound table; nothing when they can. Every record is split
// by these places, and the writer changes the bytes they give: a fixed-length
// column that shares bytes with another, or lies beyond what a record can
// hold, would have one column's amount written over another's (or over the
// variable-length part); a column number or variable-length number out of
// range, or given twice, would have two columns read, or made empty, as one.
// A Yes/No column keeps its value in the null mask and has no bytes of its
// own.
std::optional<std::string> layoutProblem(const AccessImage& image, std::uint32_t page,
                                         const AccessTableDefinition& definition)
{
    const unsigned char* p = image.page(page);
    const JetFormat& at = image.format();
    // Before the count of columns: the most a record holds (deleted columns
    // counted), and how many variable-length ones there are.
    unsigned rowColumns = get16(p + at.columnCountAt - 4);
    unsigned variable = get16(p + at.columnCountAt - 2);
    std::size_t room = at.maxRecord - at.countSize - (rowColumns + 7) / 8;
    auto named = [](const AccessColumn& column) { return "column \"" + column.name + "\""; };
    const std::vector<AccessColumn>& columns = definition.columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const AccessColumn& column = columns[i];
        bool hasBytes = column.fixed && column.type != access_type::kYesNo && column.size > 0;
        if (column.number < 0 || static_cast<unsigned>(column.number) >= rowColumns)
            return named(column) + " has the number " + std::to_string(column.number) + ", but its records hold " +
                   std::to_string(rowColumns) + " columns";
        if (!column.fixed && (column.varNumber < 0 || static_cast<unsigned>(column.varNumber) >= variable))
            return named(column) + " has the variable-length number " + std::to_string(column.varNumber) +
                   ", but the table has " + std::to_string(variable) + " variable-length columns";
        if (hasBytes && static_cast<std::size_t>(column.fixedOffset) + static_cast<std::size_t>(column.size) > room)
            return named(column) + " lies beyond the room a record has for its fixed-length values";
        for (std::size_t k = 0; k < i; ++k) {
            const AccessColumn& other = columns[k];
            bool otherHasBytes = other.fixed && other.type != access_type::kYesNo && other.size > 0;
            if (other.number == column.number)
                return named(other) + " and " + named(column) + " have the same number";
            if (!column.fixed && !other.fixed && other.varNumber == column.varNumber)
                return named(other) + " and " + named(column) + " have the same variable-length number";
            if (hasBytes && otherHasBytes && column.fixedOffset < other.fixedOffset + other.size &&
                other.fixedOffset < column.fixedOffset + column.size)
                return named(other) + " and " + named(column) + " share bytes of each record";
        }
    }
    return std::nullopt;
}

// The bytes of the table definition on page, its continuation pages joined
// (each after its 8-byte header).
std::string definitionImage(const AccessImage& image, std::uint32_t page)
{
    std::string bytes;
    std::vector<bool> seen(image.pageCount(), false);
    for (const unsigned char* p = image.page(page); p && p[0] == jet_page::kDefinition && !seen[page];
         p = image.page(page)) {
        seen[page] = true;
        std::size_t skip = bytes.empty() ? 0 : 8;
        bytes.append(reinterpret_cast<const char*>(p) + skip, image.pageSize() - skip);
        page = get32(p + image.format().ownerAt);
        if (page == 0)
            break;
    }
    return bytes;
}

// Reads from each column's entry in the definition what libmdb does not
// give: ACE's flags of a calculated column (the extra flags byte; Jet 3 and
// Jet 4 have none), Jet 4's and ACE's sort order of a text column (a
// locale and a version), for seeking text by an index's own keys, and a
// Decimal column's scale (the byte after its precision, where a text
// column's sort order lies; libmdb's col_scale holds the precision). Entries
// are matched to columns by their number, which libmdb's order need not
// follow.
void readColumnEntries(const AccessImage& image, std::uint32_t page, AccessTableDefinition& definition)
{
    constexpr std::size_t kNumberAt = 5;
    constexpr std::size_t kSortOrderAt = 11;
    constexpr std::size_t kScaleAt = 12;
    constexpr unsigned char kCalculated = 0xC0;
    const JetFormat& at = image.format();
    if (at.isJet3())
        return;
    std::string bytes = definitionImage(image, page);
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t start = at.columnsStart + get32(d + at.realIndexCountAt) * at.realIndexEntry;
    for (std::size_t i = 0; i < definition.columns.size(); ++i) {
        std::size_t entry = start + i * at.columnEntry;
        if (entry + at.columnEntry > bytes.size())
            return;
        auto number = static_cast<int>(get16(d + entry + kNumberAt));
        for (AccessColumn& column : definition.columns) {
            if (column.number != number)
                continue;
            column.calculated = at.columnExtraFlagsAt != 0 && (d[entry + at.columnExtraFlagsAt] & kCalculated) != 0;
            column.sortLocale = static_cast<std::uint16_t>(get16(d + entry + kSortOrderAt));
            column.sortVersion = d[entry + kSortOrderAt + 3];
            if (column.type == access_type::kDecimal)
                column.scale = d[entry + kScaleAt];
        }
    }
}

// An open file and which file it is; its pages are read as they are needed.
struct OpenedFile {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string header; // the start of the file, enough to tell its kind
};

Result<OpenedFile> openForReading(const std::string& path)
{
    using R = Result<OpenedFile>;
    // O_NONBLOCK: a named pipe must not stall the open; fstat refuses it.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return R::failure(path + ": cannot open: " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return R::failure(path + ": not an ordinary file");
    }
    if (static_cast<std::uint64_t>(info.st_size) > AccessFile::kMaxBytes) {
        ::close(fd);
        return R::failure(path + ": larger than an Access database can be");
    }
    OpenedFile opened{fd,
                      static_cast<std::uint64_t>(info.st_size),
                      static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino),
                      {}};
    opened.header.assign(static_cast<std::size_t>(std::min<std::uint64_t>(opened.size, kHeaderBytes)), '\0');
    std::size_t done = 0;
    while (done < opened.header.size()) {
        ssize_t n = ::pread(fd, opened.header.data() + done, opened.header.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            return R::failure(path + ": cannot read: " + std::strerror(error));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    opened.header.resize(done);
    return opened;
}

// libmdb reads the file through a stream; this one hands it the image's
// pages, so that libmdb sees exactly the bytes the image read and checked,
// and reads nothing the image does not.
struct PageStream {
    const AccessImage* image = nullptr;
    std::uint64_t at = 0;

    std::uint64_t end() const { return static_cast<std::uint64_t>(image->pageCount()) * image->pageSize(); }

    static ssize_t read(void* cookie, char* buffer, std::size_t size)
    {
        auto* stream = static_cast<PageStream*>(cookie);
        std::size_t pageSize = stream->image->pageSize();
        std::size_t done = 0;
        while (done < size && stream->at < stream->end()) {
            const unsigned char* p = stream->image->page(static_cast<std::uint32_t>(stream->at / pageSize));
            if (!p)
                break;
            std::size_t within = static_cast<std::size_t>(stream->at % pageSize);
            std::size_t take = std::min(pageSize - within, size - done);
            std::memcpy(buffer + done, p + within, take);
            done += take;
            stream->at += take;
        }
        return static_cast<ssize_t>(done);
    }

    static int seek(void* cookie, off64_t* offset, int whence)
    {
        auto* stream = static_cast<PageStream*>(cookie);
        std::int64_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? static_cast<std::int64_t>(stream->at)
                                                 : static_cast<std::int64_t>(stream->end());
        if (*offset < -base)
            return -1;
        stream->at = static_cast<std::uint64_t>(base + *offset);
        *offset = static_cast<off64_t>(stream->at);
        return 0;
    }

    static int close(void* cookie)
    {
        delete static_cast<PageStream*>(cookie);
        return 0;
    }
};

// Opens libmdb over image: the header page is handed over as a buffer (the
// only way libmdb opens anything but a path), then the stream is exchanged
// for one over the image's pages.
MdbHandle* openMdb(const AccessImage& image)
{
    const unsigned char* header = image.page(0);
    if (!header)
        return nullptr;
    std::string first(reinterpret_cast<const char*>(header), image.pageSize());
    MdbHandle* mdb = mdb_open_buffer(first.data(), first.size(), MDB_NOFLAGS);
    if (!mdb)
        return nullptr;
    auto* cookie = new PageStream{&image, 0};
    FILE* stream = ::fopencookie(cookie, "r", {PageStream::read, nullptr, PageStream::seek, PageStream::close});
    if (!stream) {
        delete cookie;
        mdb_close(mdb);
        return nullptr;
    }
    // Unbuffered: libmdb reads whole pages, and a buffer would read ahead.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    std::fclose(mdb->f->stream);
    mdb->f->stream = stream;
    mdb->cur_pg = 0;
    return mdb;
}

} // namespace

AccessFile::AccessFile(std::shared_ptr<const AccessSource> source, std::unique_ptr<Handle> handle)
    : m_source(std::move(source))
    , m_handle(std::move(handle))
{
}

AccessFile::AccessFile(AccessFile&&) noexcept = default;
AccessFile& AccessFile::operator=(AccessFile&&) noexcept = default;
AccessFile::~AccessFile() = default;

Result<AccessFile> AccessFile::open(const std::string& path)
{
    using R = Result<AccessFile>;
    Result<OpenedFile> opened = openForReading(path);
    if (!opened.ok())
        return R::failure(opened.error());
    DatabaseKind kind = databaseKindOfHeader(opened->header);
    if (!isAccess(kind)) {
        ::close(opened->fd);
        return R::failure(path + ": not an Access database");
    }
    auto source = std::make_shared<AccessSource>(
        AccessSource{path,
                     AccessImage(path, opened->fd, opened->size, opened->device, opened->inode, kind),
                     1252,
                     opened->device,
                     opened->inode,
                     {},
                     {}});
    const AccessImage& image = source->image;
    // The file stays open through the open's reads; the image outlives them.
    std::shared_ptr<const AccessSource> reading = source;
    AccessImage::KeptOpen keptOpen(image);
    // Access writes whole pages; a file that ends inside one was cut short.
    if (image.size() % image.pageSize() != 0 || image.pageCount() <= kCatalogPage)
        return R::failure(path + ": damaged: the file is cut short");

    auto handle = std::make_unique<Handle>();
    // libmdb reads the pages through the image, read-only.
    handle->mdb = openMdb(image);
    if (!handle->mdb)
        return R::failure(path + ": damaged, or an Access version this program does not know");
    // A key in the header means every page is encrypted: ACE's password
    // encryption, or Jet's "encode database". A Jet 4 database password
    // alone leaves the key empty and the pages readable.
    if (handle->mdb->f->db_key != 0)
        return R::failure(path + ": the database is encrypted; remove its password or encryption in Access first");
    if (handle->mdb->f->code_page != 0)
        source->codePage = handle->mdb->f->code_page;

    AccessFile file(std::move(source), std::move(handle));
    Status catalog = file.readCatalog();
    if (!catalog.ok())
        return R::failure(catalog.error());
    return file;
}

Status AccessFile::readCatalog()
{
    Result<AccessTableDefinition> definition = readDefinition("MSysObjects", kCatalogPage);
    if (!definition.ok())
        return Status::failure(m_source->path + ": damaged: its list of tables cannot be read");
    std::vector<int> slots;
    for (const char* name : {"Id", "Name", "Type", "Flags", "Database"}) {
        int slot = -1;
        for (std::size_t i = 0; i < definition->columns.size(); ++i)
            if (definition->columns[i].name == name)
                slot = static_cast<int>(i);
        if (slot < 0)
            return Status::failure(m_source->path + ": damaged: its list of tables has no \"" + name + "\" column");
        slots.push_back(slot);
    }
    AccessTable objects(m_source, std::move(*definition), slots);
    Status loaded = objects.load();
    if (!loaded.ok())
        return loaded;
    for (std::uint32_t record = 0; record < objects.recordCount(); ++record) {
        // A field that cannot be read counts as empty.
        static const FieldValue kNull;
        std::string unreadable;
        FieldValue values[5];
        for (std::size_t column = 0; column < slots.size(); ++column) {
            const FieldValue* value = objects.valueAt(record, column, unreadable);
            values[column] = value ? *value : kNull;
        }
        if (values[2].type != FieldValue::Type::Integer || values[1].type != FieldValue::Type::Text)
            continue;
        int type = static_cast<int>(values[2].integer);
        if (type != kTable && type != kOdbcLink && type != kAccessLink)
            continue;
        CatalogEntry entry;
        entry.name = values[1].bytes;
        entry.type = type;
        entry.page = static_cast<std::uint32_t>(values[0].integer) & 0x00FFFFFFu;
        entry.flags = static_cast<std::uint32_t>(values[3].integer);
        if (values[4].type == FieldValue::Type::Text)
            entry.linkedFile = values[4].bytes;
        m_catalog.push_back(std::move(entry));
    }
    return Status::success();
}

std::string AccessFile::replacedText() const
{
    return m_source->path + ": is no longer the file that was read; open it again";
}

std::vector<std::string> AccessFile::tableNames() const
{
    std::vector<std::string> names;
    for (const CatalogEntry& entry : m_catalog)
        if ((entry.flags & kSystemFlags) == 0 && entry.name.rfind("MSys", 0) != 0)
            names.push_back(entry.name);
    return names;
}

const AccessFile::CatalogEntry* AccessFile::find(const std::string& table) const
{
    const CatalogEntry* found = nullptr;
    for (const CatalogEntry& entry : m_catalog)
        if (sameIgnoringCase(entry.name, table) && (!found || entry.name == table))
            found = &entry;
    return found;
}

bool AccessFile::hasTable(const std::string& table) const
{
    return find(table) != nullptr;
}

Result<AccessTableDefinition> AccessFile::definition(const std::string& table) const
{
    using R = Result<AccessTableDefinition>;
    const CatalogEntry* entry = find(table);
    if (!entry)
        return R::failure(m_source->path + ": has no table \"" + table + "\"");
    // A linked table's records are in another database. An ODBC link's
    // connection text may hold a password, so it is never shown.
    if (entry->type == kOdbcLink)
        return R::failure(m_source->path + ": table \"" + entry->name +
                          "\" is linked to an ODBC data source; its records are not in this file");
    if (entry->type != kTable)
        return R::failure(m_source->path + ": table \"" + entry->name + "\" is a linked table; its records are in \"" +
                          entry->linkedFile + "\", not in this file");
    Result<AccessTableDefinition> read = readDefinition(entry->name, entry->page);
    if (!read.ok() && m_source->image.replaced())
        return R::failure(replacedText());
    return read;
}

Result<AccessTableDefinition> AccessFile::readDefinition(const std::string& name, std::uint32_t page) const
{
    using R = Result<AccessTableDefinition>;
    // Read once: the pages it comes from never change in the image.
    if (auto kept = m_source->definitions.find(page); kept != m_source->definitions.end() && kept->second.name == name)
        return kept->second;
    std::string damaged = m_source->path + ": damaged: the definition of table \"" + name + "\" cannot be read";
    AccessImage::KeptOpen keptOpen(m_source->image);
    if (!definitionFits(m_source->image, page))
        return R::failure(damaged);
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.mdb = m_handle->mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = page;
    std::snprintf(entry.object_name, sizeof entry.object_name, "%s", name.c_str());
    struct TableCloser {
        void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
    };
    std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(&entry));
    if (!table || !mdb_read_columns(table.get()))
        return R::failure(damaged);
    mdb_read_indices(table.get());
    if (!table->indices)
        return R::failure(damaged);

    AccessTableDefinition definition;
    definition.name = name;
    definition.page = page;
    definition.hasVariableColumns = table->num_var_cols > 0;
    if (table->usage_map)
        definition.usageMap.assign(reinterpret_cast<const char*>(table->usage_map), table->map_sz);
    for (guint i = 0; i < table->columns->len; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
        definition.columns.push_back({column->name, column->col_type, column->col_num,
                                      static_cast<int>(column->var_col_num), column->fixed_offset, column->col_size,
                                      column->is_fixed != 0});
    }
    readColumnEntries(m_source->image, page, definition);
    if (std::optional<std::string> problem = layoutProblem(m_source->image, page, definition))
        return R::failure(m_source->path + ": damaged: the definition of table \"" + name + "\": " + *problem);
    readResultTypes(definition);
    for (guint i = 0; i < table->indices->len; ++i) {
        const auto* index = static_cast<const MdbIndex*>(g_ptr_array_index(table->indices, i));
        AccessIndex described;
        described.name = index->name;
        described.unique = (index->flags & MDB_IDX_UNIQUE) != 0;
        described.ignoresNulls = (index->flags & MDB_IDX_IGNORENULLS) != 0;
        described.primary = index->index_type == 1;
        described.root = index->first_pg;
        for (unsigned k = 0; k < index->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            int slot = index->key_col_num[k] - 1;
            if (slot < 0 || static_cast<std::size_t>(slot) >= definition.columns.size())
                return R::failure(damaged);
            described.columnSlots.push_back(slot);
            described.columns.push_back(definition.columns[static_cast<std::size_t>(slot)].name);
        }
        definition.indexes.push_back(std::move(described));
    }
    m_source->definitions.insert_or_assign(page, definition);
    return definition;
}

void AccessFile::readResultTypes(AccessTableDefinition& definition) const
{
    // The result of a calculated column is stored in the type its expression
    // gives (the column's ResultType property), which need not be the
    // column's own: a Double column's results may be stored as Currency
    // amounts or as decimals. Left unknown when the properties cannot be
    // read: such a column's values are then not read at all. The properties
    // are read from MSysObjects, so never for MSysObjects itself, which a
    // damaged file could make a loop of.
    if (sameIgnoringCase(definition.name, "MSysObjects") ||
        std::none_of(definition.columns.begin(), definition.columns.end(),
                     [](const AccessColumn& column) { return column.calculated; }))
        return;
    Result<AccessTableRecord> record = accessTableRecord(*this, definition.page);
    if (!record.ok())
        return;
    for (AccessColumn& column : definition.columns)
        for (const AccessPropertyBlock& block : record->blocks)
            if (column.calculated && sameIgnoringCase(block.name, column.name))
                if (std::string type = block.text("ResultType"); type.size() == 1)
                    column.resultType = static_cast<unsigned char>(type[0]);
}

Result<AccessTable> AccessFile::openTable(const std::string& table, const std::vector<std::string>& columns) const
{
    using R = Result<AccessTable>;
    Result<AccessTableDefinition> definition = this->definition(table);
    if (!definition.ok())
        return R::failure(definition.error());
    std::vector<int> slots;
    for (const std::string& column : columns) {
        int slot = -1;
        for (std::size_t i = 0; i < definition->columns.size(); ++i)
            if (sameIgnoringCase(definition->columns[i].name, column) &&
                (slot < 0 || definition->columns[i].name == column))
                slot = static_cast<int>(i);
        if (slot < 0)
            return R::failure(m_source->path + ": table \"" + definition->name + "\" has no column \"" + column + "\"");
        slots.push_back(slot);
    }
    AccessTable opened(m_source, std::move(*definition), std::move(slots));
    AccessImage::KeptOpen keptOpen(m_source->image);
    Status loaded = opened.load();
    if (!loaded.ok())
        return R::failure(m_source->image.replaced() ? replacedText() : loaded.error());
    return opened;
}

} // namespace tarvex
