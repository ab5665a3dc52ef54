// The rules that decide whether a vendor product is listed and what the host
// product gets when it is applied. An empty vendor value never changes
// anything; an empty host value counts as 0; a lower vendor price never
// lowers the host's price.
#pragma once

#include "review/ChangeLabel.h"

#include <optional>
#include <string>

namespace tarvex {

// The change label of a product when it is listed, nothing when it is not.
// Listed when the vendor cost differs from the current cost or the vendor
// price is above the current price. Costs and prices are compared in their
// 15-digit text form (see normalisedNumber), so a row whose shown values are
// all equal is never listed. The label is " Cost Change" when the cost rises,
// " Cost Change and Price Change" when the price rises as well, and
// " Price Change" in every other listed case.
//
// Vendor values are given as the host would store them (ProductValues), so
// that these rules and the two below decide on what a save would leave.
std::optional<ChangeLabel> changeLabel(std::optional<double> vendorCost, std::optional<double> vendorPrice,
                                       double currentCost, double currentPrice);

// Why a vendor cost or price cannot be used, or nothing when it can: a cost
// or price below zero is a mistake in the price list, never something to
// write into the host's products.
std::optional<std::string> vendorAmountProblem(std::optional<double> amount);

// Whether applying writes the vendor cost: it differs from the host cost
// (empty counts as 0), compared as changeLabel compares them. What is
// written is the vendor cost as it stands.
bool costToWrite(std::optional<double> vendorCost, std::optional<double> hostCost);
// Whether applying writes the vendor price: it is above the host price
// (empty counts as 0), compared as changeLabel compares them; a price is
// never lowered.
bool priceToWrite(std::optional<double> vendorPrice, std::optional<double> hostPrice);

} // namespace tarvex
