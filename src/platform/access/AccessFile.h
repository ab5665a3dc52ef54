// AccessFile: one genuine Access database (Access 97, 2000-2003 or 2007 and
// later) opened for reading only. Its pages are read as they are needed and
// then held (AccessImage): the list of tables, the definitions and the
// records, memos and index entries of the tables opened, never the whole
// file. libmdb reads the table definitions through the image; the records
// are read from the pages by AccessImage, so that values never pass through
// libmdb's locale-dependent text. Nothing is ever written to the file, and
// the file stays open (read-only) while the AccessFile or a table of it
// lives.
//
// Table, column and index names are matched without regard to letter case,
// as Access matches them.
#pragma once

#include "platform/access/AccessTable.h"
#include "platform/db/DatabaseKind.h"
#include "platform/Result.h"

#include <memory>
#include <string>
#include <vector>

namespace tarvex {

class AccessFile {
public:
    // The largest file Access itself can make.
    static constexpr std::size_t kMaxBytes = std::size_t{2} << 30;

    // Opens the Access file at path for reading. Fails, with a text naming
    // the file, when it cannot be read, is not an Access file, is encrypted
    // (an ACE password or an encoded Jet database; a Jet 4 database password
    // alone is no encryption and such a file opens), or is damaged (cut
    // short, or its list of tables cannot be read).
    static Result<AccessFile> open(const std::string& path);

    AccessFile(AccessFile&&) noexcept;
    AccessFile& operator=(AccessFile&&) noexcept;
    ~AccessFile();

    const std::string& path() const { return m_source->path; }
    DatabaseKind kind() const { return m_source->image.kind(); }
    // The pages as they were read, and which file they were read from.
    const AccessImage& image() const { return m_source->image; }
    std::uint64_t device() const { return m_source->device; }
    std::uint64_t inode() const { return m_source->inode; }
    // The Windows code page of Jet 3 text.
    unsigned codePage() const { return m_source->codePage; }

    // The names of the file's own tables and linked tables, system tables
    // left out, in the file's spelling.
    std::vector<std::string> tableNames() const;
    // Whether the file has a table (or a linked table) of that name.
    bool hasTable(const std::string& table) const;

    // The table's columns and indexes. Fails when there is no such table,
    // when it is a linked table (naming the file it links to), when its
    // definition is damaged, or when a page it needs is read after the file
    // at the path was replaced or removed.
    Result<AccessTableDefinition> definition(const std::string& table) const;

    // Reads the table's records with the columns the caller will use. Fails
    // as definition() does, when a column does not exist, or when the
    // records cannot be found in the file.
    Result<AccessTable> openTable(const std::string& table, const std::vector<std::string>& columns) const;

private:
    struct CatalogEntry {
        std::string name;
        int type = 0;
        std::uint32_t page = 0;
        std::uint32_t flags = 0;
        std::string linkedFile; // for a linked table, the file it links to
    };
    struct Handle;

    AccessFile(std::shared_ptr<const AccessSource> source, std::unique_ptr<Handle> handle);
    Status readCatalog();
    const CatalogEntry* find(const std::string& table) const;
    // The failure of a read that found another file at the path, or none.
    std::string replacedText() const;
    // Each calculated column's result type, from the table's properties.
    void readResultTypes(AccessTableDefinition& definition) const;
    Result<AccessTableDefinition> readDefinition(const std::string& name, std::uint32_t page) const;

    std::shared_ptr<const AccessSource> m_source;
    std::unique_ptr<Handle> m_handle;
    std::vector<CatalogEntry> m_catalog;
};

} // namespace tarvex
