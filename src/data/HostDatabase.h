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

} // namespace tarvex
