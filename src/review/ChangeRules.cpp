// Listing and applying decisions for one product.
#include "review/ChangeRules.h"

#include "review/NumberText.h"

namespace tarvex {

namespace {

// Costs and prices are compared as the review shows them, in their 15-digit
// text form: a value with more digits than that (2.2800000000000002) then
// never counts as a change from the value it is shown as, and a row whose
// cells are all equal is neither listed nor written. Equal values skip the
// text form, as do prices in the wrong order: the text form keeps the order.
bool costDiffers(double vendorCost, double currentCost)
{
    return vendorCost != currentCost && normalisedNumber(vendorCost) != normalisedNumber(currentCost);
}

bool priceRises(double vendorPrice, double currentPrice)
{
    return vendorPrice > currentPrice && normalisedNumber(vendorPrice) > normalisedNumber(currentPrice);
}

} // namespace

std::optional<ChangeLabel> changeLabel(std::optional<double> vendorCost, std::optional<double> vendorPrice,
                                       double currentCost, double currentPrice)
{
    bool costChanges = costToWrite(vendorCost, currentCost);
    bool priceUp = priceToWrite(vendorPrice, currentPrice);
    if (!costChanges && !priceUp)
        return std::nullopt;
    bool costUp = costChanges && *vendorCost > currentCost;
    if (!costUp)
        return ChangeLabel::PriceChange;
    return priceUp ? ChangeLabel::CostAndPriceChange : ChangeLabel::CostChange;
}

bool costToWrite(std::optional<double> vendorCost, std::optional<double> hostCost)
{
    return vendorCost && costDiffers(*vendorCost, hostCost.value_or(0));
}

bool priceToWrite(std::optional<double> vendorPrice, std::optional<double> hostPrice)
{
    return vendorPrice && priceRises(*vendorPrice, hostPrice.value_or(0));
}

std::optional<std::string> vendorAmountProblem(std::optional<double> amount)
{
    if (amount && *amount < 0)
        return std::string("is negative");
    return std::nullopt;
}

} // namespace tarvex
