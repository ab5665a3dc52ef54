// Bounded waits on a test's child processes, for the kill tests: a child that
// hangs, or a pipe that never gets its byte, fails the test at once, naming
// what was waited for, instead of stalling the test program until the
// suite's time limit. The child is then killed and reaped.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace tarvex::test {

// Long enough for a whole apply of a kill test in a sanitizer build on a
// busy machine, short beside the suite's limit.
constexpr int kChildSeconds = 20;

// Reads one byte from fd, which child writes, within seconds, into got when
// given. When none comes in time, or the pipe ends first, adds a failure
// naming what, kills and reaps child, and returns false.
bool readByteWithin(int fd, pid_t child, const std::string& what, char* got = nullptr, int seconds = kChildSeconds);

// Waits for child to end within seconds and returns its wait status. Past
// that it adds a failure naming what, kills and reaps child, and returns
// nothing.
std::optional<int> waitWithin(pid_t child, const std::string& what, int seconds = kChildSeconds);

} // namespace tarvex::test
