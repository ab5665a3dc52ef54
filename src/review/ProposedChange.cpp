// The cell texts of one row of the review list.
#include "review/ProposedChange.h"

#include "review/NumberText.h"

namespace tarvex {

namespace {

// An empty vendor value is shown as nothing; an empty amount an undo puts
// back is said in words, so that it does not look like a missing cell.
std::string optionalText(const std::optional<double>& value, bool restoring)
{
    return value ? numberText(*value) : std::string(restoring ? "(empty)" : "");
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
        return optionalText(newCost, restore != nullptr);
    case ReviewColumn::CurrentPrice:
        return numberText(currentPrice);
    case ReviewColumn::NewPrice:
        return optionalText(newPrice, restore != nullptr);
    case ReviewColumn::Change:
        return labelText(change);
    }
    return {};
}

} // namespace tarvex
