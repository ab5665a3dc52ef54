// Looking for other users of an Access database: its lock file, the locks on
// it and the processes that have it open.
#include "platform/access/AccessFileUsers.h"

#include "platform/access/AccessLockFile.h"
#include "platform/db/DatabaseKind.h"
#include "platform/os/FileHolders.h"
#include "platform/text/TextHelpers.h"
#include "platform/text/VisibleText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

namespace {

constexpr std::size_t kLockFileMaxBytes = std::size_t{kLockFileMaxEntries} * kLockFileEntryBytes;

std::string entryName(const LockFileEntry& entry)
{
    if (entry.computer.empty())
        return entry.user;
    return (entry.user.empty() ? "a user" : entry.user) + " on computer " + entry.computer;
}

// Who holds a lock: the process when the system tells it, else "a program".
std::string lockHolder(const HeldLock& lock, const std::string& fileName)
{
    std::string who = lock.pid > 0 ? processName(lock.pid, visibleText(programOf(lock.pid))) : "a program";
    return who + " holding a lock on " + fileName;
}

void addOnce(std::vector<std::string>& holders, std::string holder)
{
    if (std::find(holders.begin(), holders.end(), holder) == holders.end())
        holders.push_back(std::move(holder));
}

// Notes in users that the locks on a file could not be looked at.
void noteUnchecked(AccessFileUsers& users, const LockScan& scan, const std::string& fileName)
{
    if (scan.error == 0)
        return;
    users.unchecked += (users.unchecked.empty() ? "" : "; ") + std::string("the locks on ") + fileName +
                       " could not be checked: " + std::strerror(scan.error);
}

// A descriptor of the file at path for looking at its locks: own when it is
// open on that very file, else a new one (closed by the caller when it
// differs from own). -1, with errno set, when it cannot be opened.
int handleFor(const std::string& path, int own, FileIdentity& identity)
{
    struct stat byName {};
    if (::stat(path.c_str(), &byName) != 0)
        return -1;
    identity = {byName.st_dev, byName.st_ino};
    struct stat byHandle {};
    if (own >= 0 && ::fstat(own, &byHandle) == 0 && byHandle.st_dev == byName.st_dev &&
        byHandle.st_ino == byName.st_ino)
        return own;
    // O_NONBLOCK: a pipe put in the file's place must not make the open wait.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat opened {};
    if (fd >= 0 && ::fstat(fd, &opened) == 0)
        identity = {opened.st_dev, opened.st_ino};
    return fd;
}

// The users of one lock file: the entries whose locks are held, and a lock
// elsewhere in it as a user who may be any of the entries.
void addLockFileUsers(int fd, const std::string& fileName, AccessFileUsers& users)
{
    std::vector<std::string>& holders = users.holders;
    std::string bytes(kLockFileMaxBytes, '\0');
    ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    std::vector<LockFileEntry> entries = lockFileEntries(bytes);
    LockScan scan = locksHeldOn(fd, {0, kToEnd});
    noteUnchecked(users, scan, fileName);
    for (const HeldLock& lock : scan.locks) {
        bool named = false;
        for (const LockFileEntry& entry : entries)
            if (lockMarksSlot(lock.range, entry.slot)) {
                addOnce(holders, entryName(entry));
                named = true;
            }
        if (named)
            continue;
        std::string candidates;
        for (const LockFileEntry& entry : entries)
            candidates += (candidates.empty() ? "" : ", ") + entryName(entry);
        addOnce(holders,
                candidates.empty() ? lockHolder(lock, fileName) : "a user of " + fileName + ", one of: " + candidates);
    }
}

std::string openedFiles(const OpenerProcess& process, const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < process.files.size(); ++i)
        text += (i == 0 ? "" : i + 1 == process.files.size() ? " and " : ", ") + names[process.files[i]];
    return text;
}

} // namespace

std::string AccessFileUsers::message(const std::string& databasePath) const
{
    std::string who;
    for (const std::string& holder : holders)
        who += (who.empty() ? "" : "; ") + holder;
    std::string text = databasePath + " is in use by " + who + ".";
    if (tarvexRuns.empty())
        return text + " Close the salon application on every computer and run Tarvex again.";
    std::string runs;
    for (int pid : tarvexRuns)
        runs += (runs.empty() ? "" : ", ") + std::to_string(pid);
    return text + " Another Tarvex run (process " + runs +
           ") is using it: let it finish, close the salon application on every computer and run Tarvex again.";
}

Result<AccessFileUsers> findAccessFileUsers(const std::string& databasePath, OwnAccessHandles own)
{
    AccessFileUsers users;
    std::vector<FileIdentity> files(1);
    std::vector<std::string> names{fileNameOf(databasePath)};

    int database = handleFor(databasePath, own.database, files[0]);
    if (database < 0) {
        int error = errno;
        return Result<AccessFileUsers>::failure(databasePath +
                                                ": cannot open to see who else uses it: " + std::strerror(error));
    }
    // Named after the users in the lock file, who say more to whoever reads
    // the message.
    std::vector<std::string> databaseLocks;
    LockScan scan = locksHeldOn(database, {0, kToEnd});
    noteUnchecked(users, scan, names[0]);
    for (const HeldLock& lock : scan.locks)
        addOnce(databaseLocks, lockHolder(lock, names[0]));
    if (database != own.database)
        ::close(database);
    if (flockHeldOn(databasePath))
        addOnce(databaseLocks, "a program holding a lock on " + names[0]);

    // The kind decides the lock file's name; a file of unknown kind is
    // looked at under both names.
    Result<DatabaseKind> kind = databaseKind(databasePath);
    for (const std::string& lockPath : lockFilesBeside(databasePath, kind.ok() ? *kind : DatabaseKind::NotADatabase)) {
        FileIdentity identity;
        int lockFile = handleFor(lockPath, own.lockFile, identity);
        if (lockFile < 0) {
            int error = errno;
            // Removed by its last user since the folder was read.
            if (error == ENOENT)
                continue;
            return Result<AccessFileUsers>::failure(lockPath + ": cannot open to see who uses " + names[0] + ": " +
                                                    std::strerror(error));
        }
        struct stat info {};
        // Only an ordinary file can be a lock file; Access could not use a
        // folder or a device of that name.
        if (::fstat(lockFile, &info) == 0 && S_ISREG(info.st_mode)) {
            addLockFileUsers(lockFile, fileNameOf(lockPath), users);
            files.push_back(identity);
            names.push_back(fileNameOf(lockPath));
        }
        if (lockFile != own.lockFile)
            ::close(lockFile);
    }

    for (std::string& holder : databaseLocks)
        addOnce(users.holders, std::move(holder));
    OpenerScan openers = processesWithOpen(files);
    for (const OpenerProcess& process : openers.processes) {
        addOnce(users.holders, processName(process.pid, visibleText(process.program)) + " with " +
                                   openedFiles(process, names) + " open");
        if (process.program == "tarvex")
            users.tarvexRuns.push_back(process.pid);
    }
    std::string unlisted;
    if (openers.noProcessList)
        unlisted = "the programs of this computer could not be listed (/proc cannot be read)";
    else if (openers.unreadable > 0)
        unlisted = "the open files of " + std::to_string(openers.unreadable) +
                   (openers.unreadable == 1 ? " process" : " processes") + " of other users could not be checked";
    if (!unlisted.empty())
        users.unchecked += (users.unchecked.empty() ? "" : "; ") + unlisted;
    return users;
}

} // namespace tarvex
