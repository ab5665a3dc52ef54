// ReviewFlags: the marks on rows that deserve a second look before they are
// written. A flag only draws the eye: it never changes what Select All
// selects nor what an apply writes.
#pragma once

#include "review/ProposedChange.h"

#include <string>
#include <vector>

namespace tarvex {

// One bit per reason; a row may have several.
enum ReviewFlag : unsigned {
    kFlagPriceBelowCost = 1u << 0, // the price the host would keep is below the cost it would keep
    kFlagCostJump = 1u << 1,       // the new cost is more than double, or less than half, the current one
    kFlagPriceJump = 1u << 2,      // the same for the price
    kFlagZeroReplacing = 1u << 3,  // a new cost or price of 0 where the current one is not 0
    kFlagDuplicateCode = 1u << 4,  // the product code is listed more than once
};

// The flags of one row taken alone (every flag but kFlagDuplicateCode).
// The values compared are what the row would leave in the host: the new
// cost when there is one, else the current; for the price, the new price
// only where it would be written (above the current one, or, for an undo,
// whatever it puts back). A current value of 0 has no "double" or "half".
unsigned rowFlags(const ProposedChange& row);

// The flags of every row, in row order: rowFlags, and kFlagDuplicateCode on
// each row whose product code (letter case ignored, as the host's index
// matches it) another row also holds.
std::vector<unsigned> reviewFlags(const std::vector<ProposedChange>& rows);

// Why a row is flagged, one sentence a reason, joined by "\n"; empty for 0.
std::string flagReasons(unsigned flags);

} // namespace tarvex
