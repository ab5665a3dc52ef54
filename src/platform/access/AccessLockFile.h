// AccessLockFile: the lock file Access keeps beside a database it has open
// for sharing: kv.ldb beside kv.mdb, kv.laccdb for a file of the Access 2007
// format. It is an array of at most 255 entries of 64 bytes, one for each
// user: the user's computer name in the first 32 bytes and user (security)
// name in the other 32, each ended by a NUL and padded with NULs or spaces.
// An entry stays in the file after its user has gone, and Access reuses it;
// what tells a user who is still there is a lock held for the entry:
// Access's own byte at 0x10000001 plus the entry's number (beyond the end of
// the file, where nothing is ever written), or, as Tarvex takes it, the
// entry's own 64 bytes.
#pragma once

#include "platform/db/DatabaseKind.h"
#include "platform/os/FileHolders.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

inline constexpr int kLockFileEntryBytes = 64;
inline constexpr int kLockFileNameBytes = 32;
inline constexpr int kLockFileMaxEntries = 255;

struct LockFileEntry {
    int slot = 0;
    // UTF-8 from the Windows code page the names are written in, with any
    // control character shown as an escape.
    std::string computer;
    std::string user;
};

// The name Access gives the lock file of the database at databasePath: its
// file name with the extension replaced by ".ldb", by ".laccdb" for the
// Access 2007 format (kind Ace), in the same folder.
std::string lockFilePathFor(const std::string& databasePath, DatabaseKind kind);

// The lock files of the database at databasePath that exist: every file in
// its folder whose name is the lock file's name when letter case is not
// counted, as a Windows share would show them to Access. For a kind that is
// neither Jet nor Ace, the files of both names.
std::vector<std::string> lockFilesBeside(const std::string& databasePath, DatabaseKind kind);

// The entries of a lock file's bytes that name someone; an entry of NULs and
// spaces only is free and left out.
std::vector<LockFileEntry> lockFileEntries(std::string_view bytes);

// The 64 bytes of an entry for computer and user, each cut to 31 bytes and
// padded with NULs.
std::string lockFileEntry(std::string_view computer, std::string_view user);

// The ranges of the lock file whose locks mark entry slot as taken.
std::array<ByteRange, 2> slotLockRanges(int slot);

// Whether a lock on range marks entry slot as taken.
bool lockMarksSlot(ByteRange range, int slot);

} // namespace tarvex
