// ListBuildBench: times the building of the list of proposed changes through
// the real buildChangeList, and the floor SQLite sets for the same answer:
// one statement over the host with the vendor's file attached, joining each
// live vendor product to the first host product of its code.
#pragma once

#include "platform/Result.h"

#include <string>
#include <vector>

namespace tarvex::bench {

struct ListBuildFigures {
    double buildSeconds = 0; // best of the runs
    double floorSeconds = 0;
    std::size_t rows = 0;      // listed by buildChangeList
    std::size_t floorRows = 0; // given by the statement
    bool sameRows = false;     // the same vendor IDs in the same order
    std::size_t unreadable = 0;
    int progresses = 0; // progress indications the build started (in its first run)
    // EXPLAIN QUERY PLAN of the host lookups the build ran, and of the floor.
    std::vector<std::string> lookupPlan;
    std::vector<std::string> floorPlan;
};

class ListBuildBench {
public:
    // Runs the build and the floor statement repeats times each, alternating,
    // each on fresh connections. Fails, naming the file, when a file cannot
    // be opened or the build fails.
    static Result<ListBuildFigures> measure(const std::string& vendorPath, const std::string& hostPath, int repeats);

    // The floor statement, for the vendor's file attached as "vendor".
    static const char* floorSql();
};

} // namespace tarvex::bench
