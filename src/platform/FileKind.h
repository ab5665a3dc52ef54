// FileKind: what kind of database a file holds, told from its first bytes and
// never from its name: a price list or host database named .mdb may be an
// SQLite file, an Access 97 (Jet 3), Access 2000-2003 (Jet 4) or Access 2007
// and later (ACE) file, and an .accdb file may carry an .mdb name.
#pragma once

#include "platform/Result.h"

#include <string>
#include <string_view>

namespace tarvex {

enum class FileKind { SQLite, Jet3, Jet4, Ace, Other };

// The kind of a file that begins with header (its first bytes; fewer than a
// full header give Other).
FileKind fileKindOfHeader(std::string_view header);

// The kind of the file at path. Fails, naming the file, when it cannot be
// opened or read; a readable file of no known kind is Other.
Result<FileKind> fileKindOf(const std::string& path);

// "SQLite", "Access 97", "Access 2000-2003", "Access 2007 or later", "unknown"
// for messages.
const char* fileKindName(FileKind kind);

} // namespace tarvex
