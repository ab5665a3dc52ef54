// AccessFileUsers: whether another program or user has an Access database
// open, from every trace such a program leaves that this machine can see:
// - a user in the lock file beside it (AccessLockFile) whose entry is still
//   locked; an entry nobody holds is stale, left by a user who has gone;
// - any lock on the lock file or on the database file: POSIX and
//   open-file-description record locks over every byte, beyond the end of
//   the file too (Access's lock ranges are not documented, so any lock at
//   all counts), and flock on the database file. Under Wine a Windows
//   program's byte-range locks are POSIX locks held by the wineserver
//   process; a share served by Samba places its clients' locks the same way;
// - another process of this machine with the database or its lock file open.
// A user of the file on another computer shows only through the first two;
// a copy of Access there that has opened the file without locking it cannot
// be seen at all.
#pragma once

#include "platform/Result.h"

#include <string>
#include <vector>

namespace tarvex {

struct AccessFileUsers {
    // One text for each user or program found, e.g. "Admin on computer
    // FRONTDESK", "process 812 (wineserver) holding a lock on kv.mdb",
    // "process 913 (msaccess.exe) with kv.mdb and kv.ldb open".
    std::vector<std::string> holders;
    // Empty, or what could not be looked at, so that the check was partial:
    // "the open files of 3 processes of other users could not be checked",
    // "the locks on kv.mdb could not be checked: <reason>" (a file system
    // without record locks), several joined by "; ".
    std::string unchecked;
    // The processes among them that are Tarvex itself: another run, which
    // is let finish rather than closed like the salon application.
    std::vector<int> tarvexRuns;

    bool anyone() const { return !holders.empty(); }
    // The message for a run that has to end because of them, naming the file
    // and saying what to do.
    std::string message(const std::string& databasePath) const;
};

// The descriptors through which this process holds its own locks on a
// database and on its lock file (-1 for none): the locks taken through them
// are its own, not another user's.
struct OwnAccessHandles {
    int database = -1;
    int lockFile = -1;
};

// Who else has the Access database at databasePath open. This process is
// never one of them: its own open descriptors, its own POSIX locks and the
// locks it holds through own are left out. Fails, naming the file, when the
// database or an existing lock file cannot be opened to look; finding
// nobody is no failure, and a partial check says so in unchecked. The
// database file and lock files are opened and closed here, which drops any
// POSIX lock this process holds on them through another descriptor (its
// open-file-description locks stay). While this process holds an
// AccessFileClaim on the database, ask the claim (others()): asked here
// without its descriptors, the claim's own locks and entry would count as
// another program's.
Result<AccessFileUsers> findAccessFileUsers(const std::string& databasePath, OwnAccessHandles own = {});

} // namespace tarvex
