// DatabaseKind: which kind of database a file holds, told by its first bytes
// alone, whatever its name: an SQLite database ("SQLite format 3" and a NUL
// at byte 0) or an Access database ("Standard Jet DB" or "Standard ACE DB"
// and a NUL at byte 4). Anything else, an empty file included, is not a
// database.
#pragma once

#include "platform/Result.h"

#include <string>

namespace tarvex {

enum class DatabaseKind { Sqlite, Jet, Ace, NotADatabase };

// Reads the start of the file at path (a link is followed). Fails, naming the
// file and the system's reason, when it cannot be opened or read. Never
// blocks on a device or a pipe: anything but an ordinary file is
// NotADatabase.
Result<DatabaseKind> databaseKind(const std::string& path);

} // namespace tarvex
