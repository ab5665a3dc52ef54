// Peak memory and bytes read of a run's open and list build on a salon-sized
// Access host, beside mdb-export of its product table.
#include "SalonHostBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "data/HostDatabase.h"
#include "platform/Database.h"
#include "review/ChangeList.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

extern char** environ;

namespace tarvex::bench {

namespace {

// The number after key in the /proc file at path: the bytes this process
// has read (io, rchar:), its peak resident memory in kB (status, VmHWM:).
std::uint64_t procNumber(const char* path, const std::string& key)
{
    std::ifstream in(path);
    for (std::string word; in >> word;)
        if (word == key) {
            std::uint64_t value = 0;
            in >> value;
            return value;
        }
    return 0;
}

struct ChildRun {
    bool ran = false;
    int status = 0;
    std::string output;
    std::string errors;
    double seconds = 0;
};

// Runs argv with its output in output (or thrown away), and its resources.
ChildRun runChild(const std::vector<std::string>& args, bool keepOutput)
{
    ChildRun run;
    int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return run;
    // The child's errors go to a file of their own: read after it ends.
    char errorsPath[] = "/tmp/tarvex-bench-errors-XXXXXX";
    int errorsFd = ::mkstemp(errorsPath);
    if (errorsFd < 0)
        return run;
    ::unlink(errorsPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (keepOutput)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorsFd, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    Stopwatch clock;
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        ::close(errorsFd);
        return run;
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    if (::waitpid(pid, &run.status, 0) != pid) {
        ::close(errorsFd);
        return run;
    }
    run.seconds = clock.seconds();
    run.ran = true;
    for (ssize_t n; (n = ::pread(errorsFd, buffer, sizeof buffer, static_cast<off_t>(run.errors.size()))) > 0;)
        run.errors.append(buffer, static_cast<std::size_t>(n));
    ::close(errorsFd);
    return run;
}

} // namespace

int SalonHostBench::runStep(const std::string& vendorPath, const std::string& hostPath)
{
    std::uint64_t readBefore = procNumber("/proc/self/io", "rchar:");
    Stopwatch clock;
    Result<Database> host = openHostDatabase(hostPath);
    if (!host) {
        std::cerr << host.error() << "\n";
        return 1;
    }
    Result<Database> update = Database::open(vendorPath);
    if (!update) {
        std::cerr << update.error() << "\n";
        return 1;
    }
    QuietPrompter prompter;
    Result<ChangeList> list = buildChangeList(*update, *host, prompter);
    if (!list) {
        std::cerr << list.error() << "\n";
        return 1;
    }
    double seconds = clock.seconds();
    std::cout << "rows=" << list->rows.size() << " seconds=" << seconds
              << " read=" << procNumber("/proc/self/io", "rchar:") - readBefore
              << " peak=" << procNumber("/proc/self/status", "VmHWM:") << "\n";
    return 0;
}

Result<SalonFigures> SalonHostBench::measure(const std::string& self, const std::string& vendorPath,
                                             const std::string& hostPath)
{
    using R = Result<SalonFigures>;
    SalonFigures figures;
    figures.hostBytes = std::filesystem::file_size(hostPath);
    ChildRun step = runChild({self, "--salon-step", vendorPath, hostPath}, true);
    if (!step.ran || !WIFEXITED(step.status) || WEXITSTATUS(step.status) != 0)
        return R::failure(hostPath + ": the open and list build in a process of its own failed");
    std::istringstream line(step.output);
    for (std::string pair; line >> pair;) {
        std::size_t eq = pair.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = pair.substr(0, eq);
        std::string value = pair.substr(eq + 1);
        if (key == "rows")
            figures.rows = std::stoll(value);
        else if (key == "seconds")
            figures.seconds = std::stod(value);
        else if (key == "read")
            figures.bytesRead = std::stoull(value);
        else if (key == "peak")
            figures.peakKb = std::stoll(value);
    }
    // ru_maxrss of a spawned child can carry the parent's peak across the
    // exec; time(1) forks from a small process of its own.
    ChildRun floor = runChild({"/usr/bin/time", "-f", "peak=%M", "mdb-export", hostPath, "product"}, false);
    figures.floorRan = floor.ran && WIFEXITED(floor.status) && WEXITSTATUS(floor.status) == 0;
    if (std::size_t at = floor.errors.rfind("peak="); at != std::string::npos)
        figures.floorPeakKb = std::stoll(floor.errors.substr(at + 5));
    figures.floorSeconds = floor.seconds;
    return figures;
}

} // namespace tarvex::bench
