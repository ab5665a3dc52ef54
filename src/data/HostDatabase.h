// Opening the host application's database and checking that it holds what a
// run needs.
#pragma once

#include "platform/Database.h"

#include <string>

namespace tarvex {

// Opens path and checks for table product with quickid, cost and retailprice
// and its index QuickID, that cost and retailprice hold amounts (not dates),
// and that the file can be written. Fails with a text naming the file and
// the problem.
Result<Database> openHostDatabase(const std::string& path, const OpenOptions& options = {});

// Checks, before the backup copy is made, everything a run on the host at
// path will need to write, so that a host no run could change is refused
// before a copy is made that nobody needs: the file, its folder and an
// Access lock file (Database::writeCheck, which also finds another user's
// journal that keeps every run out), an Access host's product table as a
// whole (read as openHostDatabase reads it, which changes nothing in it, and
// Database::tableSaveCheck), and the run record (RunRecordFile::writeCheck).
// Fails with the text the later refusal gives, followed by what to do. On
// success, holds what the look for other programs that have the file open
// could not see (Database::otherUsersUnchecked), empty when it saw all.
Result<std::string> checkHostBeforeBackup(const std::string& path, const OpenOptions& options = {});

} // namespace tarvex
