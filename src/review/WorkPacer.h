// WorkPacer: keeps the screen alive during a long loop over products. It lets
// paint and timer events run (never user input, so no click can start a
// second apply or close the window half-way), and shows a progress once the
// work has taken more than a second.
#pragma once

#include "platform/prompt/Prompter.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvex {

class WorkPacer {
public:
    // total: how many steps the work has, for the progress; 0 when unknown.
    WorkPacer(Prompter& prompter, std::string title, std::string label, std::uint64_t total);

    // Reports that done steps are finished. Cheap enough to call per product:
    // events run and the progress moves at most every few milliseconds.
    void step(std::uint64_t done);

private:
    using Clock = std::chrono::steady_clock;

    Prompter& m_prompter;
    std::string m_title;
    std::string m_label;
    std::uint64_t m_total;
    Clock::time_point m_start;
    Clock::time_point m_lastEvents;
    std::unique_ptr<Progress> m_progress;
};

} // namespace tarvex
