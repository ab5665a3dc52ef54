// The stop signals' guard and a signal its process was started to ignore:
// under nohup SIGHUP is ignored, and the run must go on when the terminal
// closes. The test program itself starts every handled signal at its default
// (see TestMain.cpp), so each case sets SIG_IGN first, in a child of its own,
// as the parent of a run under nohup does before it starts the program.
#include "platform/os/StopSignals.h"

#include "support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace tarvex;
using namespace tarvex::test;

namespace {

TEST(StopSignalsTest, ASignalIgnoredWhenTheGuardIsMadeStaysIgnoredAndStopsNothing)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        std::string seen = runInChild([signal] {
            std::signal(signal, SIG_IGN);
            std::string text;
            {
                StopSignals guard;
                struct sigaction during {};
                ::sigaction(signal, nullptr, &during);
                ::raise(signal);
                text += during.sa_handler == SIG_IGN ? "ignored" : "handled";
                text += StopSignals::requested() ? ", stop asked" : ", no stop";
            }
            struct sigaction after {};
            ::sigaction(signal, nullptr, &after);
            text += after.sa_handler == SIG_IGN ? ", ignored after" : ", not ignored after";
            return text;
        });
        EXPECT_EQ(seen, "ignored, no stop, ignored after");
    }
}

volatile std::sig_atomic_t g_caught = 0;

extern "C" void recordCaught(int signal)
{
    g_caught = signal;
}

// The first request names the stop, whatever comes after it; when the guard
// ends, the handlers it found are back: a handler of the process's own, and
// the default.
TEST(StopSignalsTest, TheFirstRequestNamesTheStopAndTheHandlersFoundAreBackAfterTheGuard)
{
    std::string seen = runInChild([] {
        std::signal(SIGHUP, recordCaught);
        std::string text;
        {
            StopSignals guard;
            ::raise(SIGTERM);
            ::raise(SIGHUP);
            StopSignals::request();
            text = StopSignals::askedBy();
        }
        ::raise(SIGHUP);
        text += g_caught == SIGHUP ? ", own handler back" : ", own handler lost";
        struct sigaction term {};
        ::sigaction(SIGTERM, nullptr, &term);
        text += term.sa_handler == SIG_DFL ? ", default back" : ", default lost";
        return text;
    });
    EXPECT_EQ(seen, "SIGTERM, own handler back, default back");
}

} // namespace
