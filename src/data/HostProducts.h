// HostProducts: finding one host product again by its product code and the
// record identity a run recorded, and reading its cost and retail price.
// Used where a recorded run is compared with what the host holds now.
#pragma once

#include "platform/Database.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvex {

// A host product's cost and retail price; each empty when its field is.
struct HostAmounts {
    std::optional<double> cost;
    std::optional<double> price;

    bool operator==(const HostAmounts&) const = default;
};

// The host's product table with the columns a run writes, walked and sought
// by its QuickID index. Fails with a text naming the file.
Result<Recordset> openHostProducts(Database& host);

// Makes the host record of product code and identity record the current one
// of products (as opened by openHostProducts) and reads its amounts. Empty
// when no record has that code, or the first one with it (the one an apply
// writes) is another record than the one recorded. Fails, naming the file,
// when the file cannot be read or an amount is not a number.
Result<std::optional<HostAmounts>> findHostProduct(const Database& host, Recordset& products, const std::string& code,
                                                   std::int64_t record);

} // namespace tarvex
