// Finding the locks on a file and the processes that have it open.
#include "platform/os/FileHolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

constexpr off_t kNoEnd = std::numeric_limits<off_t>::max();

off_t endOf(ByteRange range)
{
    return range.length == kToEnd ? kNoEnd : range.start + range.length;
}

ByteRange between(off_t start, off_t end)
{
    return {start, end == kNoEnd ? kToEnd : end - start};
}

// The process id a /proc entry's name stands for, or 0 for any other entry.
pid_t pidOfEntry(const char* name)
{
    char* end = nullptr;
    long value = std::strtol(name, &end, 10);
    return end != name && *end == '\0' && value > 0 ? static_cast<pid_t>(value) : 0;
}

} // namespace

LockScan locksHeldOn(int fd, ByteRange range, std::size_t limit)
{
    LockScan scan;
    std::vector<HeldLock>& found = scan.locks;
    std::vector<ByteRange> toProbe{range};
    const pid_t self = ::getpid();
    // The system tells one conflicting lock for each question; the bytes on
    // either side of it are asked about again, so that a lock of this
    // process's own, or a second holder, is not hidden behind the first.
    for (std::size_t asked = 0; !toProbe.empty() && found.size() < limit && asked < 4 * limit; ++asked) {
        ByteRange part = toProbe.back();
        toProbe.pop_back();
        struct flock probe {};
        // A write lock conflicts with every lock. F_OFD_GETLK asks for the
        // open file description of fd: the locks taken through it do not
        // count, every other lock does, a POSIX lock of this process's too.
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = part.start;
        probe.l_len = part.length;
        if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) {
            scan.error = errno;
            break;
        }
        if (probe.l_type == F_UNLCK)
            continue;
        off_t lockEnd = probe.l_len == 0 ? kNoEnd : probe.l_start + probe.l_len;
        off_t start = std::max(probe.l_start, part.start);
        off_t end = std::min(lockEnd, endOf(part));
        if (start >= end)
            continue;
        if (start > part.start)
            toProbe.push_back(between(part.start, start));
        if (end < endOf(part))
            toProbe.push_back(between(end, endOf(part)));
        if (probe.l_pid != self)
            found.push_back({between(start, end), probe.l_pid});
    }
    std::sort(found.begin(), found.end(),
              [](const HeldLock& a, const HeldLock& b) { return a.range.start < b.range.start; });
    return scan;
}

bool flockHeldOn(const std::string& path)
{
    // A new open file description: flock locks belong to one, so a lock
    // held through any other, in this process or another, conflicts.
    // O_NONBLOCK: opening a pipe put in the file's place must not wait.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    bool held = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::flock(fd, LOCK_UN);
    else
        held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

std::string programOf(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/comm";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    // The name is at most 15 characters and a line end.
    char buffer[64];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0)
        return {};
    std::string name(buffer, static_cast<std::size_t>(n));
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0'))
        name.pop_back();
    return name;
}

std::string processName(pid_t pid, const std::string& program)
{
    std::string name = "process " + std::to_string(pid);
    return program.empty() ? name : name + " (" + program + ")";
}

OpenerScan processesWithOpen(const std::vector<FileIdentity>& files)
{
    OpenerScan scan;
    DIR* processes = ::opendir("/proc");
    if (!processes) {
        scan.noProcessList = true;
        return scan;
    }
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(processes)) {
        pid_t pid = pidOfEntry(entry->d_name);
        if (pid == 0 || pid == self)
            continue;
        std::string fdFolder = std::string("/proc/") + entry->d_name + "/fd";
        DIR* descriptors = ::opendir(fdFolder.c_str());
        if (!descriptors) {
            // Gone meanwhile is no gap in the scan; not allowed to look is.
            if (errno == EACCES || errno == EPERM)
                ++scan.unreadable;
            continue;
        }
        OpenerProcess opener{pid, {}, {}};
        while (const dirent* descriptor = ::readdir(descriptors)) {
            if (descriptor->d_name[0] == '.')
                continue;
            // Each entry is a link to what the descriptor has open; stat
            // follows it to that file, whatever name it was opened by.
            struct stat info {};
            if (::fstatat(::dirfd(descriptors), descriptor->d_name, &info, 0) != 0)
                continue;
            for (std::size_t i = 0; i < files.size(); ++i)
                if (info.st_dev == files[i].device && info.st_ino == files[i].inode &&
                    std::find(opener.files.begin(), opener.files.end(), i) == opener.files.end())
                    opener.files.push_back(i);
        }
        ::closedir(descriptors);
        if (!opener.files.empty()) {
            opener.program = programOf(pid);
            scan.processes.push_back(std::move(opener));
        }
    }
    ::closedir(processes);
    return scan;
}

} // namespace tarvex
