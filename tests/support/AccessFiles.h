// Checking genuine Access files after a write: what libmdb's mdb-export, an
// independent reader run as a separate program, reads from a table, and the
// file offsets a change of a record's amounts may touch.
#pragma once

#include "platform/AccessFile.h"

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

// The offsets at which two files' bytes differ, and every offset past the
// shorter one's end.
std::set<std::size_t> differingOffsets(const std::string& before, const std::string& after);

} // namespace tarvex::test
