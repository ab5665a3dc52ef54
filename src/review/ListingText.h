// The list of proposed changes as plain text: the printed list's title and
// sub-title, the heading line (vendor, date and time, host file: see
// printHeadingLine), the column titles and one line per row, in list order,
// each row led by "[x]" when selected and "[ ]" when not, with the columns
// padded to line up. Control characters in the cells are shown as escapes
// (see visibleText).
#pragma once

#include "platform/Result.h"
#include "review/PrintHeading.h"
#include "review/ProposedChange.h"

#include <functional>
#include <string>
#include <vector>

namespace tarvex {

std::string listingText(const std::vector<ProposedChange>& rows, const PrintHeading& heading);

// The same text handed to emit a line at a time ("\n" included), so that a
// listing of long names need not be held whole. Stops at emit's first failure
// and returns it.
Status writeListing(const std::vector<ProposedChange>& rows, const PrintHeading& heading,
                    const std::function<Status(const std::string& line)>& emit);

} // namespace tarvex
