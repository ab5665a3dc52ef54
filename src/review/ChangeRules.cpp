// Listing and applying decisions for one product.
#include "review/ChangeRules.h"

#include "review/NumberText.h"

namespace tarvex {

namespace {

// Costs are compared as the review shows them, in their 15-digit text form:
// a cost with more digits than that (2.2800000000000002) then never counts as
// a change from the cost it is shown as. Equal values skip the text form.
bool costDiffers(double vendorCost, double currentCost)
{
    return vendorCost != currentCost && normalisedNumber(vendorCost) != normalisedNumber(currentCost);
}

} // namespace

std::optional<std::string> changeLabel(std::optional<double> vendorCost, std::optional<double> vendorPrice,
                                       double currentCost, double currentPrice)
{
    bool costChanges = vendorCost && costDiffers(*vendorCost, currentCost);
    bool priceRises = vendorPrice && *vendorPrice > currentPrice;
    if (!costChanges && !priceRises)
        return std::nullopt;
    // The label compares the stored values, not their text form.
    bool costUp = vendorCost && *vendorCost > currentCost;
    std::string label = costUp ? " Cost Change" : " Price Change";
    if (costUp && priceRises)
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
