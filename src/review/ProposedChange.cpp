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

std::string ProposedChange::cell(int column) const
{
    switch (column) {
    case 0:
        return quickid;
    case 1:
        return name;
    case 2:
        return numberText(currentCost);
    case 3:
        return optionalText(newCost);
    case 4:
        return numberText(currentPrice);
    case 5:
        return optionalText(newPrice);
    case 6:
        return change;
    default:
        return {};
    }
}

} // namespace tarvex
