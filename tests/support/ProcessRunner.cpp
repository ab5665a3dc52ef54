#include "support/ProcessRunner.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvex::test {

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& changes)
{
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        auto eq = entry.find('=');
        if (eq != std::string::npos)
            env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const std::string& change : changes) {
        auto eq = change.find('=');
        std::string name = change.substr(0, eq);
        if (eq == std::string::npos || eq + 1 == change.size())
            env.erase(name);
        else
            env[name] = change.substr(eq + 1);
    }
    std::vector<std::string> merged;
    for (const auto& [name, value] : env)
        merged.push_back(name + "=" + value);
    return merged;
}

} // namespace

std::string builtProgram(const std::string& name)
{
    return std::string(TARVEX_BINARY_DIR) + "/" + name;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    ProcessResult result;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        return result;

    std::vector<std::string> env = mergedEnvironment(options.environment);
    std::vector<char*> envp, args;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (std::string& a : argCopy)
        args.push_back(a.data());
    args.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0)
            _exit(127);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);

    size_t written = 0;
    if (options.input.empty()) {
        close(in[1]);
        in[1] = -1;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        if (outOpen)
            fds[n++] = {out[0], POLLIN, 0};
        if (errOpen)
            fds[n++] = {err[0], POLLIN, 0};
        if (in[1] >= 0)
            fds[n++] = {in[1], POLLOUT, 0};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, n, static_cast<int>(left.count())) < 0)
            continue;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == in[1]) {
                ssize_t w = write(in[1], options.input.data() + written, options.input.size() - written);
                if (w > 0)
                    written += static_cast<size_t>(w);
                if (w < 0 || written == options.input.size()) {
                    close(in[1]);
                    in[1] = -1;
                }
                continue;
            }
            char buffer[65536];
            ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
            std::string& sink = fds[i].fd == out[0] ? result.out : result.err;
            if (r > 0)
                sink.append(buffer, static_cast<size_t>(r));
            else if (fds[i].fd == out[0])
                outOpen = false;
            else
                errOpen = false;
        }
    }
    if (in[1] >= 0)
        close(in[1]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::string runInChild(const std::function<std::string()>& body, bool asPlainUser)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string text;
        if (asPlainUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            text = "setuid failed";
        else
            text = body();
        ssize_t written = ::write(fds[1], text.data(), text.size());
        // _exit: the child must not run the test program's exit handlers.
        ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        text += " (the child process ended abnormally)";
    return text;
}

} // namespace tarvex::test
