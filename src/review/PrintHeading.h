// PrintHeading: what a printed list says of itself on every page besides its
// rows: the vendor, when it was printed, the host file, and which rows are
// selected (marked "[x]" in a margin before the first column).
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace tarvex {

struct PrintHeading {
    std::string vendor;
    std::string hostFile;
    // When the list was printed; 0 for the time printing starts.
    std::time_t printedAt = 0;
    // Whether each row, by its index, is selected; rows past its end are not.
    std::vector<char> selected;
};

} // namespace tarvex
