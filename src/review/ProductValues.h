// ProductValues: the four values a product's change is decided from, read the
// same way by the list build and by the apply.
#pragma once

#include "platform/Database.h"

#include <optional>

namespace tarvex {

// Each value is empty when its field is. The vendor's values are taken as
// the host's columns would store them (Recordset::storedNumber): a change is
// decided, shown and recorded as what the host will hold, so that a vendor
// cost of 10.12345 against a Currency column holding 10.1234 is no change.
struct ProductValues {
    std::optional<double> vendorCost;
    std::optional<double> vendorPrice;
    std::optional<double> hostCost;
    std::optional<double> hostPrice;
};

// value as the host table's column would store it (empty stays empty).
std::optional<double> storedAs(const Recordset& hostProducts, const char* column, std::optional<double> value);

// Reads cost and retailprice from the current record of vendor (a table of
// update) and of hostProducts (a table of host). Fails with a text that names
// the file, the table, the record and the column of the first value that is
// not a number, or of a vendor cost or price below zero (vendorAmountProblem);
// vendor values are read before host values, cost before price. A vendor
// value below zero is refused as it stands, before it is rounded.
Result<ProductValues> readProductValues(const Database& update, const Recordset& vendor, const Database& host,
                                        const Recordset& hostProducts);

} // namespace tarvex
