// Reading a list of row numbers typed by a user: "1,3-5" names rows 1, 3, 4
// and 5. Rows are numbered from 1 as they are shown.
#pragma once

#include "platform/Result.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tarvex {

// The 0-based rows that text names, in ascending order without repeats. Fails
// with a text that quotes the part not understood, or names a row outside 1 to
// rowCount.
Result<std::vector<std::size_t>> parseRowList(const std::string& text, std::size_t rowCount);

} // namespace tarvex
