// Where a printed list may be written. The user names the file, and a typing
// slip or a link must never turn a database, its journal or a backup copy
// into a page of text: the file is judged by what it is (its device and
// inode, its first bytes, its resolved name), never by the name typed.
#pragma once

#include "platform/Result.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvex {

struct PrintTarget {
    // The file that will be written: the path with every link followed.
    std::string path;
    // Whether a file is already there (the user is asked before replacing it).
    bool exists = false;
    // Whether the path went through a symbolic link to get there.
    bool viaLink = false;
};

// The file a list printed to path would be written to. Fails, with a text
// naming path and, for a link, the file it leads to, when that file is one of
// keepOff (the program's databases and backup copy) or its "-journal", "-wal"
// or "-shm" file, whether or not it exists yet; when it starts as an SQLite
// or Access database does; when its name is that of a backup copy
// ("<host>_Tarvex_" and 14 digits, with "_N" after them); when it is not an
// ordinary file; when it exists and the user may not write it (as
// open(O_WRONLY) would find: another user's file in a shared folder, a
// read-only file); or when its folder cannot be found.
Result<PrintTarget> findPrintTarget(const std::string& path, const std::vector<std::string>& keepOff);

// The permissions a list written to path gets: those of the file it replaces,
// or those of a new file under the process's umask.
mode_t printFileMode(const std::string& path);

} // namespace tarvex
