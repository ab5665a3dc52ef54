// AccessCopy: the backup copy of an Access database, made only while no
// other program has the file open, and checked without reading the file a
// second time.
#pragma once

#include "platform/os/FileCopy.h"

#include <string>

namespace tarvex {

// Copies the Access database at source to a new file named destination
// through plainCopy (which reads source once, or lets the system copy it
// without the bytes passing through this process). Fails, naming the file
// and saying to close the salon application on every computer, when another
// program has it open (see AccessFileUsers); fails, removing the copy, when
// the file changed while it was copied ("the file changed while it was
// copied; another program is writing it") or the copy does not read back
// whole with the file's size and first page. Otherwise as FileCopy::copy.
CopyResult copyAccessFile(const std::string& source, const std::string& destination, FileCopy& plainCopy,
                          Progress* progress);

} // namespace tarvex
