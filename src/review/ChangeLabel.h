// ChangeLabel: what the Change column says of a row. A row holds one of
// these few labels rather than its own copy of the text, so that a list of a
// hundred thousand rows does not hold a hundred thousand copies of four texts.
#pragma once

#include <cstdint>

namespace tarvex {

enum class ChangeLabel : std::uint8_t {
    CostChange,         // the cost rises; in an undo, the cost comes back
    CostAndPriceChange, // both rise; in an undo, both come back
    PriceChange,        // every other listed case
    ChangedSince,       // an undo row whose host record no longer holds what the undone run wrote
};

// The label as the list, its print, its export and the terminal show it.
constexpr const char* labelText(ChangeLabel label)
{
    switch (label) {
    case ChangeLabel::CostChange:
        return " Cost Change";
    case ChangeLabel::CostAndPriceChange:
        return " Cost Change and Price Change";
    case ChangeLabel::PriceChange:
        return " Price Change";
    case ChangeLabel::ChangedSince:
        return " Changed since";
    }
    return "";
}

} // namespace tarvex
