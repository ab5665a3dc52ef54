#include "support/ChildWatch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarvex::test {

namespace {

void killAndReap(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

// Whether fd became readable within seconds.
bool readable(int fd, int seconds)
{
    pollfd ready{fd, POLLIN, 0};
    int n = 0;
    do
        n = ::poll(&ready, 1, seconds * 1000);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

} // namespace

bool readByteWithin(int fd, pid_t child, const std::string& what, char* got, int seconds)
{
    char byte = 0;
    if (readable(fd, seconds) && ::read(fd, &byte, 1) == 1) {
        if (got)
            *got = byte;
        return true;
    }
    ADD_FAILURE() << "waited " << seconds << " s for " << what << " (process " << child
                  << "): it did not come; the process is killed";
    killAndReap(child);
    return false;
}

std::optional<int> waitWithin(pid_t child, const std::string& what, int seconds)
{
    int status = 0;
    // A descriptor that becomes readable when the child ends, where the
    // system offers one; else a look every few milliseconds.
    int ends = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    if (ends >= 0) {
        bool ended = readable(ends, seconds);
        ::close(ends);
        if (ended && ::waitpid(child, &status, 0) == child)
            return status;
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(child, &status, WNOHANG) == child)
                return status;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ADD_FAILURE() << "waited " << seconds << " s for " << what << " (process " << child
                  << ") to end: it did not; it is killed";
    killAndReap(child);
    return std::nullopt;
}

} // namespace tarvex::test
