// Timing the backup copy beside cp.
#include "BackupBench.h"

#include "QuietPrompter.h"
#include "Stopwatch.h"

#include "platform/os/FileCopy.h"
#include "startup/BackupCopy.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvex::bench {

namespace {

namespace fs = std::filesystem;

// Runs a program found on PATH with args and waits for it. Result: whether
// it exited with status 0.
bool run(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Writes out what earlier copies left in the page cache, so that one copy's
// write-back does not slow the next one down.
void settle()
{
    ::sync();
}

} // namespace

Result<BackupFigures> BackupBench::measure(const std::string& hostPath, int repeats)
{
    using R = Result<BackupFigures>;
    BackupFigures figures;
    std::error_code error;
    figures.bytes = fs::file_size(hostPath, error);
    if (error)
        return R::failure(hostPath + ": " + error.message());
    figures.backupSeconds = figures.cpSeconds = figures.cpSyncSeconds = 1e300;
    const std::string cpCopy = hostPath + ".cp-copy";

    for (int round = 0; round < repeats; ++round) {
        settle();
        {
            SystemFileCopy fileCopy;
            QuietPrompter prompter;
            BackupCopy backup(fileCopy, prompter);
            std::time_t now = std::time(nullptr);
            std::tm when{};
            localtime_r(&now, &when);
            Stopwatch clock;
            BackupResult made = backup.make(hostPath, when);
            double seconds = clock.seconds();
            if (made.outcome != BackupResult::Outcome::Made)
                return R::failure(made.error);
            figures.backupSeconds = std::min(figures.backupSeconds, seconds);
            fs::remove(made.backupPath, error);
        }
        settle();
        {
            Stopwatch clock;
            if (!run({"cp", "--", hostPath, cpCopy}))
                return R::failure(cpCopy + ": cp failed");
            figures.cpSeconds = std::min(figures.cpSeconds, clock.seconds());
            fs::remove(cpCopy, error);
        }
        settle();
        {
            Stopwatch clock;
            if (!run({"cp", "--", hostPath, cpCopy}) || !run({"sync", "--", cpCopy}))
                return R::failure(cpCopy + ": cp or sync failed");
            figures.cpSyncSeconds = std::min(figures.cpSyncSeconds, clock.seconds());
            fs::remove(cpCopy, error);
        }
    }
    settle();
    return figures;
}

} // namespace tarvex::bench
