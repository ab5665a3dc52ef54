// Stopwatch: wall-clock seconds since it was made or last restarted.
#pragma once

#include <chrono>

namespace tarvex::bench {

class Stopwatch {
public:
    Stopwatch()
        : m_start(Clock::now())
    {
    }
    void restart() { m_start = Clock::now(); }
    double seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point m_start;
};

} // namespace tarvex::bench
