// The list of proposed changes as plain text: the printed list's title and
// sub-title, the column titles and one line per row, in list order, with the
// columns padded to line up. Control characters in the cells are shown as
// escapes (see visibleText).
#pragma once

#include "review/ProposedChange.h"

#include <string>
#include <vector>

namespace tarvex {

std::string listingText(const std::vector<ProposedChange>& rows);

} // namespace tarvex
