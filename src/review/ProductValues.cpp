// Reading a product's vendor and host cost and price, with the reasons one
// cannot be used.
#include "review/ProductValues.h"

#include "data/DatabaseNames.h"
#include "review/ChangeRules.h"

namespace tarvex {

namespace {

// The column of the current record as a number, failing with the file.
Result<std::optional<double>> amount(const Database& db, const Recordset& table, const char* column)
{
    Result<std::optional<double>> value = table.number(column);
    if (!value)
        return Result<std::optional<double>>::failure(db.path() + ": " + value.error());
    return value;
}

// Why a vendor amount cannot be used, naming the file, record and column;
// nothing when it can.
std::optional<std::string> vendorProblem(const Database& update, const Recordset& vendor, const char* column,
                                         std::optional<double> value)
{
    std::optional<std::string> problem = vendorAmountProblem(value);
    if (!problem)
        return std::nullopt;
    return update.path() + ": " + vendor.recordName() + ": \"" + column + "\" " + *problem;
}

} // namespace

std::optional<double> storedAs(const Recordset& hostProducts, const char* column, std::optional<double> value)
{
    return value ? std::optional<double>(hostProducts.storedNumber(column, *value)) : std::nullopt;
}

Result<ProductValues> readProductValues(const Database& update, const Recordset& vendor, const Database& host,
                                        const Recordset& hostProducts)
{
    Result<std::optional<double>> vendorCost = amount(update, vendor, names::kCost);
    if (!vendorCost)
        return vendorCost.status();
    Result<std::optional<double>> vendorPrice = amount(update, vendor, names::kRetailPrice);
    if (!vendorPrice)
        return vendorPrice.status();
    if (std::optional<std::string> problem = vendorProblem(update, vendor, names::kCost, *vendorCost))
        return Result<ProductValues>::failure(*problem);
    if (std::optional<std::string> problem = vendorProblem(update, vendor, names::kRetailPrice, *vendorPrice))
        return Result<ProductValues>::failure(*problem);
    Result<std::optional<double>> hostCost = amount(host, hostProducts, names::kCost);
    if (!hostCost)
        return hostCost.status();
    Result<std::optional<double>> hostPrice = amount(host, hostProducts, names::kRetailPrice);
    if (!hostPrice)
        return hostPrice.status();
    return ProductValues{storedAs(hostProducts, names::kCost, *vendorCost),
                         storedAs(hostProducts, names::kRetailPrice, *vendorPrice), *hostCost, *hostPrice};
}

} // namespace tarvex
