// DatabaseKind: which kind of database a file holds, told by its first bytes
// alone, whatever its name: an SQLite database ("SQLite format 3" and a NUL
// at byte 0) or an Access database ("Standard Jet DB" or "Standard ACE DB"
// and a NUL at byte 4; byte 0x14 tells Access 97 (Jet 3, 2 KiB pages) from
// Access 2000-2003 (Jet 4) and Access 2007 and later (ACE)). A price list or
// host named .mdb may be any of them, and an .accdb file may carry an .mdb
// name. Anything else, an empty file included, is not a database.
#pragma once

#include "platform/Result.h"

#include <string>
#include <string_view>

namespace tarvex {

enum class DatabaseKind { Sqlite, Jet3, Jet4, Ace, NotADatabase };

// The kind of a file that begins with header (its first bytes).
DatabaseKind databaseKindOfHeader(std::string_view header);

// Whether kind is one of the Access formats.
inline bool isAccess(DatabaseKind kind)
{
    return kind == DatabaseKind::Jet3 || kind == DatabaseKind::Jet4 || kind == DatabaseKind::Ace;
}

// Reads the start of the file at path (a link is followed). Fails, naming the
// file and the system's reason, when it cannot be opened or read. Never
// blocks on a device or a pipe: anything but an ordinary file is
// NotADatabase.
Result<DatabaseKind> databaseKind(const std::string& path);

// "SQLite", "Access 97", "Access 2000-2003", "Access 2007 or later", "not a
// database", for messages.
const char* databaseKindName(DatabaseKind kind);

} // namespace tarvex
