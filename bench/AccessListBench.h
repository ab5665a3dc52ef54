// AccessListBench: the list build over genuine Access files (the 20,000-product
// price list against the 200,000-product host) beside the same build over
// SQLite files holding the same rows, written from the values read out of
// the Access files with the project's own writers; and the time the run
// takes to open the Access host.
#pragma once

#include "platform/Result.h"

#include <string>

namespace tarvex::bench {

struct AccessListFigures {
    double accessSeconds = 0; // best build over the Access files
    double sqliteSeconds = 0; // best build over the SQLite files
    double openSeconds = 0;   // best open of the Access host, as the run opens it
    std::size_t vendorProducts = 0;
    std::size_t hostProducts = 0;
    std::size_t rows = 0;  // listed from the Access files
    bool sameRows = false; // the SQLite build listed the same vendor IDs in the same order
};

class AccessListBench {
public:
    // Writes the SQLite twins of vendorPath and hostPath into folder, then
    // times each build repeats times, taking turns, on fresh opens. Fails,
    // naming the file, when a file cannot be read or written.
    static Result<AccessListFigures> measure(const std::string& vendorPath, const std::string& hostPath,
                                             const std::string& folder, int repeats);
};

} // namespace tarvex::bench
