// JetFormat: where the parts of an Access file's pages lie, one table per
// version of the format (Jet 3: Access 97; Jet 4: Access 2000-2003; ACE:
// Access 2007 and later). Every offset and size the Access room reads by is
// taken from here, never from a flag telling one version from another.
#pragma once

#include "platform/db/DatabaseKind.h"

#include <cstddef>

namespace tarvex {

// The page types, byte 0 of every page but the header.
namespace jet_page {
inline constexpr unsigned char kData = 0x01;
inline constexpr unsigned char kDefinition = 0x02;
inline constexpr unsigned char kIndexNode = 0x03;
inline constexpr unsigned char kIndexLeaf = 0x04;
inline constexpr unsigned char kUsageMap = 0x05;
} // namespace jet_page

struct JetFormat {
    DatabaseKind kind;
    std::size_t pageSize;

    // Every page: its type in byte 0; data, index and definition pages name
    // the table they belong to (or the next definition page) at ownerAt.
    std::size_t ownerAt;

    // A data page: its row count, then one 2-byte entry per row.
    std::size_t rowCountAt;
    // A record: its column count takes countSize bytes; the longest record a
    // page holds (a page less its header and one row table entry).
    std::size_t countSize;
    std::size_t maxRecord;

    // An index page: the next leaf, the length of the prefix the entries
    // share with the first, the bitmap marking where entries end, and the
    // entries themselves.
    std::size_t nextLeafAt;
    std::size_t prefixAt;
    std::size_t entryMaskAt;
    std::size_t entriesAt;

    // A table definition: where it keeps its counts, and the size of the
    // parts kept for each column and index.
    std::size_t columnCountAt;
    std::size_t indexCountAt;
    std::size_t realIndexCountAt;
    std::size_t columnsStart;
    std::size_t realIndexEntry;
    std::size_t columnEntry;
    std::size_t nameLength;
    std::size_t realIndexDefinition;
    std::size_t indexEntry;
    // ACE only: a column entry's extra flags byte, which marks a calculated
    // column; 0 where the format has none.
    std::size_t columnExtraFlagsAt;

    // The header that begins a table's stored properties.
    const char* propertiesHeader;

    bool isJet3() const { return kind == DatabaseKind::Jet3; }
};

// Access 97.
inline constexpr JetFormat kJet3Format{.kind = DatabaseKind::Jet3,
                                       .pageSize = 2048,
                                       .ownerAt = 0x04,
                                       .rowCountAt = 0x08,
                                       .countSize = 1,
                                       .maxRecord = 2012,
                                       .nextLeafAt = 0x0c,
                                       .prefixAt = 0x14,
                                       .entryMaskAt = 0x16,
                                       .entriesAt = 0xf8,
                                       .columnCountAt = 25,
                                       .indexCountAt = 27,
                                       .realIndexCountAt = 31,
                                       .columnsStart = 43,
                                       .realIndexEntry = 8,
                                       .columnEntry = 18,
                                       .nameLength = 1,
                                       .realIndexDefinition = 39,
                                       .indexEntry = 20,
                                       .columnExtraFlagsAt = 0,
                                       .propertiesHeader = "KKD"};
// Access 2000-2003: 4 KiB pages, Unicode text, 2-byte counts.
inline constexpr JetFormat kJet4Format{.kind = DatabaseKind::Jet4,
                                       .pageSize = 4096,
                                       .ownerAt = 0x04,
                                       .rowCountAt = 0x0c,
                                       .countSize = 2,
                                       .maxRecord = 4060,
                                       .nextLeafAt = 0x10,
                                       .prefixAt = 0x18,
                                       .entryMaskAt = 0x1b,
                                       .entriesAt = 0x1e0,
                                       .columnCountAt = 45,
                                       .indexCountAt = 47,
                                       .realIndexCountAt = 51,
                                       .columnsStart = 63,
                                       .realIndexEntry = 12,
                                       .columnEntry = 25,
                                       .nameLength = 2,
                                       .realIndexDefinition = 52,
                                       .indexEntry = 28,
                                       .columnExtraFlagsAt = 0,
                                       .propertiesHeader = "MR2"};

// Access 2007 and later: Jet 4's pages, and column entries that can mark a
// calculated column.
constexpr JetFormat aceFormatOf(JetFormat jet4)
{
    jet4.kind = DatabaseKind::Ace;
    jet4.columnExtraFlagsAt = 16;
    return jet4;
}
inline constexpr JetFormat kAceFormat = aceFormatOf(kJet4Format);

// The format of an Access file of kind (Jet3, Jet4 or Ace; any other kind
// gives Jet 4's).
inline const JetFormat& jetFormat(DatabaseKind kind)
{
    switch (kind) {
    case DatabaseKind::Jet3:
        return kJet3Format;
    case DatabaseKind::Ace:
        return kAceFormat;
    default:
        return kJet4Format;
    }
}

} // namespace tarvex
