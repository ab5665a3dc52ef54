// ApplyReport: what writing the selected rows into the host database did.
#pragma once

#include "review/ProductProblem.h"

#include <cstddef>
#include <vector>

namespace tarvex {

struct ApplyReport {
    // Rows whose host product got at least one new value and had no failure.
    std::size_t updated = 0;
    // Rows whose host product was already up to date, or whose vendor or host
    // product had vanished: nothing to write, nothing wrong.
    std::size_t unchanged = 0;
    // Rows that could not be written, or not completely, in row order.
    std::vector<ProductProblem> failed;

    bool complete() const { return failed.empty(); }
};

} // namespace tarvex
