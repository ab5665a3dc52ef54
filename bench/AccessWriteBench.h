// AccessWriteBench: times AccessWriter saving the cost and price of many
// products of a genuine Access host, beside the floor the system sets for the
// same writes: one pwrite of the same bytes at the same place followed by
// fdatasync, per product. Each side works on a fresh copy of the same file,
// the two take turns a batch of products at a time, and the two copies are
// compared afterwards.
#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <string>

namespace tarvex::bench {

struct AccessWriteFigures {
    std::size_t products = 0;
    double writerSeconds = 0;
    double floorSeconds = 0;
    double writerCpuSeconds = 0;
    double floorCpuSeconds = 0;
    std::size_t failed = 0;       // saves the writer refused or failed
    std::int64_t differences = 0; // bytes that differ between the two copies afterwards
};

class AccessWriteBench {
public:
    // Writes new amounts into the first products (in primary key order) of
    // table "product" of copies of hostPath made in folder. Fails, naming the
    // file, when a copy cannot be made, read or opened for writing.
    static Result<AccessWriteFigures> measure(const std::string& hostPath, const std::string& folder,
                                              std::size_t products);
};

} // namespace tarvex::bench
