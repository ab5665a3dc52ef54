// SalonHostBench: a salon-sized Access host (a product table beside large
// tables a run never reads): the peak memory and the bytes read of opening
// it and building the list against a price list, in a process of its own,
// beside the floor of mdb-export (mdbtools) printing the product table.
#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <string>

namespace tarvex::bench {

struct SalonFigures {
    std::uint64_t hostBytes = 0;
    std::int64_t peakKb = 0;      // the step's peak resident memory (VmHWM)
    std::uint64_t bytesRead = 0;  // read by the step from any file after its start (rchar)
    double seconds = 0;           // the step's open and list build
    std::int64_t rows = 0;        // listed
    bool floorRan = false;        // mdb-export was found and ran
    std::int64_t floorPeakKb = 0; // mdb-export's peak resident memory
    double floorSeconds = 0;
};

class SalonHostBench {
public:
    // Runs the step (self is this program) and the floor each in a child
    // process. Fails when the step fails.
    static Result<SalonFigures> measure(const std::string& self, const std::string& vendorPath,
                                        const std::string& hostPath);
    // The child's side: opens hostPath as a run opens the host, builds the
    // list against vendorPath and prints its figures on one line.
    static int runStep(const std::string& vendorPath, const std::string& hostPath);
};

} // namespace tarvex::bench
