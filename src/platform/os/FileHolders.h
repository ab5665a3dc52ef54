// FileHolders: who else holds a file on this machine: the record locks on it
// (POSIX locks and open-file-description locks; Wine and Samba turn Windows
// byte-range locks into POSIX locks), a whole-file flock lock, and the other
// processes that have it open. These are the only traces a program that has
// a file open leaves that another program can see; none of them needs the
// holder's cooperation.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvex {

// Bytes of a file from start, length of them; a length of kToEnd (0)
// reaches every offset, past the end of the file too, as a lock may.
struct ByteRange {
    off_t start = 0;
    off_t length = 0;
};
inline constexpr off_t kToEnd = 0;

struct HeldLock {
    ByteRange range;
    // The process that holds it; -1 for an open-file-description lock, whose
    // holder the system does not tell.
    pid_t pid = -1;
};

struct LockScan {
    std::vector<HeldLock> locks;
    // The errno value when the system could not tell (a file system without
    // record locks), else 0.
    int error = 0;
};

// The record locks another owner holds on range of the file open at fd, as
// far as limit of them: a lock taken through fd itself (an open-file-
// description lock) or by this process (a POSIX lock) is never one. Each
// lock found is reported with the part of it inside range, in the order of
// the file. Two shared locks over the same bytes count as one. Nothing is
// locked or changed.
LockScan locksHeldOn(int fd, ByteRange range, std::size_t limit = 64);

// Whether another open of the file at path holds a flock lock on it. The
// test takes and at once drops an exclusive flock lock of its own; a file
// that cannot be opened for it counts as not flock-locked. As any close of a
// file does, the close after it drops the POSIX locks this process holds on
// the file (open-file-description locks stay).
bool flockHeldOn(const std::string& path);

// A file as the system tells it apart, whatever its names.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

struct OpenerProcess {
    pid_t pid = 0;
    // Its program name as the system shows it (/proc/<pid>/comm), empty when
    // it could not be read.
    std::string program;
    // Which of the files asked about it has open (indexes into files).
    std::vector<std::size_t> files;
};

struct OpenerScan {
    std::vector<OpenerProcess> processes;
    // Processes whose open files could not be looked at: another user's,
    // when this one is not root. The scan was then partial.
    int unreadable = 0;
    // The process list itself could not be read (no /proc).
    bool noProcessList = false;
};

// The processes of this machine, other than this one, that have any of files
// open (a descriptor, not a memory mapping alone), from /proc/<pid>/fd.
OpenerScan processesWithOpen(const std::vector<FileIdentity>& files);

// "process 812 (wineserver)", or "process 812" when the name is unknown.
std::string processName(pid_t pid, const std::string& program);

// The program name of process pid (/proc/<pid>/comm), empty when unknown.
std::string programOf(pid_t pid);

} // namespace tarvex
