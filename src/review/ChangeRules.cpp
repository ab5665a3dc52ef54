// Listing and applying decisions for one product.
#include "review/ChangeRules.h"

#include "review/NumberText.h"

namespace tarvex {

std::optional<std::string> changeLabel(std::optional<double> vendorCost, std::optional<double> vendorPrice,
                                       double currentCost, double currentPrice)
{
    bool costDiffers = vendorCost && *vendorCost != normalisedNumber(currentCost);
    bool priceRises = vendorPrice && *vendorPrice > currentPrice;
    if (!costDiffers && !priceRises)
        return std::nullopt;
    // The label compares against the cost as stored, not its text form.
    bool costRises = vendorCost && *vendorCost > currentCost;
    std::string label = costRises ? " Cost Change" : " Price Change";
    if (costRises && priceRises)
        label += " and Price Change";
    return label;
}

bool costToWrite(std::optional<double> vendorCost, std::optional<double> hostCost)
{
    return vendorCost && *vendorCost != hostCost.value_or(0);
}

bool priceToWrite(std::optional<double> vendorPrice, std::optional<double> hostPrice)
{
    return vendorPrice && *vendorPrice > hostPrice.value_or(0);
}

std::optional<std::string> vendorAmountProblem(std::optional<double> amount)
{
    if (amount && *amount < 0)
        return std::string("is negative");
    return std::nullopt;
}

} // namespace tarvex
