// Recording stop signals in a flag that long loops test between their steps.
#include "platform/os/StopSignals.h"

#include <array>
#include <atomic>
#include <csignal>

namespace tarvex {

namespace {

constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// Stands for request() in g_asked: no signal has this number.
constexpr int kAskedByProgram = -1;

// The signal that asked for a stop, 0 when none. Written by the handler,
// which may run on any thread of the process: a lock-free atomic is both
// safe to write there and seen by the main thread's loop.
std::atomic<int> g_asked{0};
static_assert(std::atomic<int>::is_always_lock_free);
int g_depth = 0;
std::array<struct sigaction, kSignals.size()> g_previous{};

extern "C" void onStopSignal(int signal)
{
    // The first request wins: a second signal says nothing new.
    int none = 0;
    g_asked.compare_exchange_strong(none, signal);
}

} // namespace

StopSignals::StopSignals()
{
    if (g_depth++ > 0)
        return;
    g_asked = 0;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a read or write under way when the signal lands goes
    // on as if nothing happened; the loop notices the flag after the step.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], nullptr, &g_previous[i]);
        // A signal the program was started to ignore (SIGHUP under nohup)
        // stays ignored: whoever started it chose that the work goes on.
        if (g_previous[i].sa_handler != SIG_IGN)
            sigaction(kSignals[i], &action, nullptr);
    }
}

StopSignals::~StopSignals()
{
    if (--g_depth > 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &g_previous[i], nullptr);
    g_asked = 0;
}

bool StopSignals::requested()
{
    return g_depth > 0 && g_asked != 0;
}

void StopSignals::request()
{
    int none = 0;
    if (g_depth > 0)
        g_asked.compare_exchange_strong(none, kAskedByProgram);
}

std::string StopSignals::askedBy()
{
    switch (g_depth > 0 ? g_asked.load() : 0) {
    case 0:
        return {};
    case kAskedByProgram:
        return "the session ending";
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGQUIT:
        return "SIGQUIT";
    default:
        return "a signal";
    }
}

void StopSignals::keepFromThisThread()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : kSignals)
        sigaddset(&stops, signal);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

} // namespace tarvex
