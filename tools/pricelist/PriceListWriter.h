// PriceListWriter: writes a checked price list as an update database
// (invupdate.mdb): one Vendor record and one product record per entry, with
// ID counting from 1 in the order of the list.
#pragma once

#include "platform/Result.h"
#include "pricelist/PriceListCsv.h"

#include <string>
#include <vector>

namespace tarvex {

class PriceListWriter {
public:
    // Writes the update database at path for vendor with entries. The file
    // appears only when complete; an existing file is replaced only when
    // replace is set. Fails with a text naming path; nothing is left behind.
    static Status write(const std::string& path, const std::string& vendor, const std::vector<PriceListEntry>& entries,
                        bool replace);
};

} // namespace tarvex
