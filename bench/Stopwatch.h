// Stopwatch: wall-clock seconds since it was made or last restarted, and the
// processor time this process spent meanwhile (both user and system).
#pragma once

#include <chrono>
#include <ctime>

namespace tarvex::bench {

class Stopwatch {
public:
    Stopwatch()
        : m_start(Clock::now())
        , m_cpuStart(cpuNow())
    {
    }
    void restart()
    {
        m_start = Clock::now();
        m_cpuStart = cpuNow();
    }
    double seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }
    double cpuSeconds() const { return cpuNow() - m_cpuStart; }

private:
    using Clock = std::chrono::steady_clock;
    static double cpuNow()
    {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    Clock::time_point m_start;
    double m_cpuStart;
};

} // namespace tarvex::bench
