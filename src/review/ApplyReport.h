// ApplyReport: what writing the selected rows into the host database did.
#pragma once

#include "review/ProductProblem.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tarvex {

struct ApplyReport {
    // Why the apply stopped before the last row, when it did on its own
    // account rather than row by row.
    enum class Stop {
        None,
        // The host path no longer names the file that was opened: the rows
        // counted as updated are in that file, wherever it is now, not in the
        // file now at the path.
        HostLeftPath,
        // A signal (or the window session ending) asked the program to stop;
        // the rows after the last one saved were not tried.
        Asked,
        // The run record could not be written (recordError says why): no
        // product was saved after that.
        NotRecorded,
    };

    // Rows whose host product got at least one new value and had no failure.
    std::size_t updated = 0;
    // Rows whose host product was already up to date, or whose vendor or host
    // product had vanished: nothing to write, nothing wrong.
    std::size_t unchanged = 0;
    // Rows that could not be written, or not completely, in row order.
    std::vector<ProductProblem> failed;
    Stop stopped = Stop::None;
    // For Stop::Asked, what asked: "SIGTERM", "SIGHUP", ...
    std::string askedBy;
    // For Stop::NotRecorded, what the record's failure was.
    std::string recordError;

    bool complete() const { return failed.empty(); }
};

} // namespace tarvex
