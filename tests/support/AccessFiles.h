// Checking genuine Access files after a write: what libmdb's mdb-export, an
// independent reader run as a separate program, reads from a table, and the
// file offsets a change of a record's amounts may touch.
#pragma once

#include "platform/access/AccessFile.h"

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarvex::test {

// Whether mdb-export is installed.
bool haveMdbExport();

// The records of table as mdb-export reads them (LC_ALL=C), each as column
// name -> text (empty for NULL); nothing when it fails or its output cannot
// be split.
std::optional<std::vector<std::map<std::string, std::string>>> mdbExportRows(const std::string& path,
                                                                             const std::string& table);

// Adds the file offsets of the stored bytes of columns (fixed-length amounts)
// of the record at place, and of their null-mask bytes, to offsets.
void addAmountOffsets(const AccessFile& file, const AccessTableDefinition& definition, AccessPlace place,
                      const std::vector<std::string>& columns, std::set<std::size_t>& offsets);

// Where the fields of a column's entry in a Jet 4 / ACE table definition
// lie, from the entry's start, and their sizes.
namespace column_entry {
struct Field {
    std::size_t at;
    std::size_t size;
};
inline constexpr Field kType{0, 1};
inline constexpr Field kNumber{5, 2};
inline constexpr Field kVarNumber{7, 2};
inline constexpr Field kFixedOffset{21, 2};
} // namespace column_entry

// Gives field of column's entry in the definition of table, in the Jet 4 /
// ACE file at path, the value (little-endian), as a damaged or a
// hand-made file would hold it. Fails the test when the entry is not on the
// definition's first page.
void setColumnEntry(const std::string& path, const std::string& table, const std::string& column,
                    column_entry::Field field, unsigned value);

// The offsets at which two files' bytes differ, and every offset past the
// shorter one's end.
std::set<std::size_t> differingOffsets(const std::string& before, const std::string& after);

} // namespace tarvex::test
