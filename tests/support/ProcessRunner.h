// Runs a built program as a separate process with the given standard input,
// and collects its output and exit status. A process that outlives its time
// is killed and reported as timed out, so a hang fails a test instead of
// stalling the suite.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarvex::test {

struct ProcessResult {
    int exitCode = -1; // -1 when killed by a signal
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string input;
    std::string workingDirectory;
    // NAME=VALUE entries added to the environment; "NAME=" alone removes NAME.
    std::vector<std::string> environment;
    int timeoutSeconds = 60;
};

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Path of a program built by this project (tarvex, tarvex-pricelist, ...).
std::string builtProgram(const std::string& name);

// Runs body in a forked child of the test and returns the text it returned.
// With asPlainUser, a child of root first gives its rights up (user and group
// 65534), so that file permissions bind it as they bind an ordinary user.
std::string runInChild(const std::function<std::string()>& body, bool asPlainUser = false);

} // namespace tarvex::test
