// AccessFileClaim: Tarvex's hold on an Access database while it may write
// it, so that no salon application starts writing it meanwhile and every
// other program sees it in use, as it would see a copy of Access that has it
// open:
// - an exclusive open-file-description lock on every byte of the database
//   file, beyond its end too. Access locks ranges of the database file (many
//   beyond its end) when it opens it for sharing and before it writes;
//   which ones is not documented, so every one is taken. Under Wine, a
//   Windows program's lock becomes a POSIX lock that this lock refuses, so a
//   salon application started meanwhile finds the file in use;
// - an entry in the lock file with this computer's name and the user's
//   login name, as Access writes its users, and exclusive locks on the
//   entry's own 64 bytes and on Access's user-lock byte for it
//   (AccessLockFile), so that the entry is seen as live and Access does not
//   take it over.
// Open-file-description locks belong to the claim's own descriptors: no
// other open or close of the files in this process drops them, and the
// system drops them when the process ends in any way. They conflict with
// every other lock, a POSIX lock this process asks for included: the writer
// takes no locks of its own on the database while the claim holds it.
//
// The claim ends with release() or the destructor, on every way out of the
// run, an error or a stop signal included (StopSignals turns those into an
// ordinary return): the entry's bytes are put back as they were, and a lock
// file the claim made is removed unless another user came into it. A
// process killed outright leaves its entry behind as a stale one, which
// Access and findAccessFileUsers() take for a user who has gone.
#pragma once

#include "platform/access/AccessFileUsers.h"
#include "platform/Result.h"

#include <string>
#include <sys/types.h>
#include <time.h>

namespace tarvex {

class AccessFileClaim {
public:
    // Claims the Access database at databasePath: locks it, then checks that
    // nobody else has it open (findAccessFileUsers) and takes an entry in its
    // lock file (made when there is none). Fails, and leaves everything as it
    // was, when anybody else has it (the text names the file and who has it
    // and says what to do), or when the file cannot be opened for writing
    // or locked, or the lock file cannot be made or written (the text names
    // the file and the reason).
    static Result<AccessFileClaim> take(const std::string& databasePath);

    AccessFileClaim(AccessFileClaim&& other) noexcept;
    AccessFileClaim& operator=(AccessFileClaim&&) = delete;
    ~AccessFileClaim();

    // Who else has the database open now, the claim itself left out: the
    // check to repeat just before writing, which finds a program that has
    // opened the file without asking for any lock.
    Result<AccessFileUsers> others() const;

    // Ends the claim now: puts the lock file back as it was found (or
    // removes it), then drops the locks.
    void release();

    const std::string& lockFilePath() const { return m_lockPath; }
    // The claim's entry in the lock file.
    int slot() const { return m_slot; }

private:
    explicit AccessFileClaim(std::string databasePath);
    Status openLockFile();
    Status takeEntry();
    void putBackLockFile();

    std::string m_databasePath;
    int m_database = -1;
    std::string m_lockPath;
    int m_lockFile = -1;
    bool m_madeLockFile = false;
    int m_slot = -1;
    // The lock file as found: its size, the bytes of the entry taken (as
    // far as the file reached) and its times.
    off_t m_foundSize = 0;
    std::string m_foundEntry;
    timespec m_foundTimes[2] = {};
};

} // namespace tarvex
