// AccessProperties: the properties Access keeps for a table and for each of
// its columns (its validation rules among them), and the extra data ACE keeps
// for a table (its data macros). Both are stored in the table's own record of
// MSysObjects, the list of every object: properties in LvProp, extra data in
// LvExtra.
//
// LvProp holds a header ("KKD\0" in Jet 3, "MR2\0" later), a list of the
// property names used, then one block per object: the table's own (named
// after the table, or unnamed) and one per column that has any, named after
// the column. Each value names its property by its place in the list.
#pragma once

#include "platform/access/AccessFile.h"
#include "platform/Result.h"

#include <string>
#include <vector>

namespace tarvex {

struct AccessProperty {
    std::string name;
    int type = 0;      // the value's type code (access_type)
    std::string value; // UTF-8 for a text or memo, the stored bytes otherwise
};

struct AccessPropertyBlock {
    std::string name; // the column's name; the table's, or empty, for the table's own
    std::vector<AccessProperty> properties;
    // The value of the property called name (letter case ignored), empty when none.
    std::string text(const std::string& name) const;
};

// What MSysObjects holds for one table.
struct AccessTableRecord {
    std::vector<AccessPropertyBlock> blocks;
    std::string extra; // LvExtra as stored: empty when the table has none
};

// Reads the MSysObjects record of the table defined on page. Fails, naming
// the file, when there is none or its properties cannot be read.
Result<AccessTableRecord> accessTableRecord(const AccessFile& file, std::uint32_t page);

// Splits a stored LvProp value into its blocks; fails when it is damaged.
Result<std::vector<AccessPropertyBlock>> accessProperties(const std::string& stored, const JetFormat& format,
                                                          unsigned codePage);

} // namespace tarvex
