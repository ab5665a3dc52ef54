// Opening the program's own update database (the vendor's price list) and
// checking that it holds what a run needs.
#pragma once

#include "platform/Database.h"

#include <string>

namespace tarvex {

// Opens path for reading only and checks for table product with ID, quickid,
// Name, cost, retailprice and Delete and its indexes UpdateID and Primarykey,
// and that no two products share an ID. Fails with a text naming the file and
// what is missing or wrong; a file without that table and without a Vendor
// table is said not to be a price list at all (and to look like the salon's
// database when its product table has the host's QuickID index).
Result<Database> openUpdateDatabase(const std::string& path, const OpenOptions& options = {});

// The Name of the first record of table Vendor (empty text for an empty
// name). Fails when the table is missing or has no record.
Result<std::string> firstVendorName(Database& update);

} // namespace tarvex
