// Progress: how long work reports how far it has come, and learns whether the
// user has asked to stop. Prompter hands one out; FileCopy reports to one.
#pragma once

#include <cstdint>

namespace tarvex {

// Progress of one long operation. update() returns false once the user has
// asked to cancel; the operation then stops at the next safe point.
class Progress {
public:
    virtual ~Progress() = default;
    virtual bool update(std::uint64_t done, std::uint64_t total) = 0;
};

} // namespace tarvex
