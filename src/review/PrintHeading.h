// PrintHeading: what a printed list says of itself on every page besides its
// rows: the vendor, when it was printed, the host file, and which rows are
// selected (marked "[x]" in a margin before the first column).
#pragma once

#include <cstddef>
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

// The line that says whose list it is and when it was printed:
// "Vendor: NAME   YYYY-MM-DD HH:MM   HOST FILE", without the parts not known,
// control characters shown as escapes. printedAt 0 reads the clock.
std::string printHeadingLine(const PrintHeading& heading);

// Whether the row at index is marked selected.
inline bool printsSelected(const PrintHeading& heading, std::size_t index)
{
    return index < heading.selected.size() && heading.selected[index] != 0;
}

} // namespace tarvex
