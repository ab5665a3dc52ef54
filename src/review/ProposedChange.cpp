// The cell texts of one row of the review list.
#include "review/ProposedChange.h"

#include "review/NumberText.h"

namespace tarvex {

namespace {

std::string optionalText(const std::optional<double>& value)
{
    return value ? numberText(*value) : std::string();
}

} // namespace

std::string ProposedChange::cell(ReviewColumn column) const
{
    switch (column) {
    case ReviewColumn::ProductCode:
        return quickid;
    case ReviewColumn::ProductName:
        return name;
    case ReviewColumn::CurrentCost:
        return numberText(currentCost);
    case ReviewColumn::NewCost:
        return optionalText(newCost);
    case ReviewColumn::CurrentPrice:
        return numberText(currentPrice);
    case ReviewColumn::NewPrice:
        return optionalText(newPrice);
    case ReviewColumn::Change:
        return change;
    }
    return {};
}

} // namespace tarvex
