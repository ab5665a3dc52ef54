// ApplyBench: times the real applyChanges on the first rows of a built list,
// and the floor SQLite sets for the same writes: one single-row UPDATE per
// row, each in its own autocommit transaction. Each side works on a fresh
// copy of the same host file, the two take turns a batch of rows at a time,
// and the two copies are compared afterwards.
#pragma once

#include "platform/Result.h"
#include "review/ChangeList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex::bench {

struct ApplyFigures {
    std::size_t rows = 0;
    double applySeconds = 0;
    double floorSeconds = 0;
    double applyCpuSeconds = 0; // processor time of each side
    double floorCpuSeconds = 0;
    std::size_t updated = 0;      // rows the apply reported updated
    std::size_t failed = 0;       // rows it reported failed
    std::int64_t saves = 0;       // host records saved by the apply
    std::int64_t differences = 0; // host records that differ between the two copies afterwards
    std::string journal;          // the host connection's journal mode and synchronous setting
};

class ApplyBench {
public:
    // Applies the first rows of list (all when it has fewer) to a copy of the
    // host file made in folder. Fails, naming the file, when a copy cannot be
    // made or opened.
    static Result<ApplyFigures> measure(const std::string& vendorPath, const std::string& hostPath,
                                        const std::string& folder, const ChangeList& list, std::size_t rows);

private:
    // Applies chosen to the file applied through applyChanges and the same
    // writes to the file floored by plain UPDATEs, taking turns, and adds
    // the times and counts to figures.
    static Status applyBoth(const std::string& vendorPath, const std::string& applied, const std::string& floored,
                            const std::vector<const ProposedChange*>& chosen, ApplyFigures& figures);
};

} // namespace tarvex::bench
