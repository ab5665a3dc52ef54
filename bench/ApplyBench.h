// ApplyBench: times the real applyChanges on the first rows of a built list,
// as a run makes it (with its run record, one whole run of every row), and
// without the record, beside the floor the host sets for the same writes:
// one single-row UPDATE per row, each in its own autocommit transaction
// (SQLite); one pwrite of the bytes the apply changed and one fdatasync per
// product (Access). Each apply's list is built from the same opened files
// before its clock starts, as a run builds its list before the apply. Each
// side works on a fresh copy of the same host file, and the copies are
// compared afterwards.
#pragma once

#include "platform/Result.h"
#include "review/ChangeList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex::bench {

struct ApplyFigures {
    std::size_t rows = 0;
    double recordSeconds = 0; // the apply with its run record, as a run makes it
    double applySeconds = 0;  // the apply without the record
    double floorSeconds = 0;
    double recordCpuSeconds = 0; // processor time of each side
    double applyCpuSeconds = 0;
    double floorCpuSeconds = 0;
    std::size_t updated = 0;      // rows the apply with the record reported updated
    std::size_t failed = 0;       // rows it reported failed
    std::int64_t saves = 0;       // host records saved by the apply (SQLite)
    std::int64_t floorWrites = 0; // pwrite and fdatasync pairs of the floor (Access)
    std::int64_t differences = 0; // records (SQLite) or bytes (Access) that differ between the copies afterwards
    std::string journal;          // the host connection's journal mode and synchronous setting
};

class ApplyBench {
public:
    // Applies the first rows of list (all when it has fewer) to a copy of the
    // host file made in folder. The three sides (with the record, without
    // it, the floor) go one after the other, the first of them turned by
    // measure, so that over three measures each side goes first, second and
    // last once. Fails, naming the file, when a copy cannot be made or opened.
    static Result<ApplyFigures> measure(const std::string& vendorPath, const std::string& hostPath,
                                        const std::string& folder, const ChangeList& list, std::size_t rows,
                                        std::size_t measure);
    // The same for an Access host and its price list, list built from them.
    static Result<ApplyFigures> measureAccess(const std::string& vendorPath, const std::string& hostPath,
                                              const std::string& folder, const ChangeList& list, std::size_t rows,
                                              std::size_t measure);

private:
    // Applies chosen to the file recorded as a run does (with the record),
    // to the file applied through applyChanges without it, and the same
    // writes to the file floored by plain UPDATEs, in the order measure
    // gives, and adds the times and counts to figures.
    static Status applyBoth(const std::string& vendorPath, const std::string& recorded, const std::string& applied,
                            const std::string& floored, const std::vector<const ProposedChange*>& chosen,
                            std::size_t measure, ApplyFigures& figures);
};

} // namespace tarvex::bench
