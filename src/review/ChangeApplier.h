// Writing the chosen rows of the review list into the host database.
#pragma once

#include "platform/Database.h"
#include "platform/Prompter.h"
#include "review/ApplyReport.h"
#include "review/ProposedChange.h"

#include <vector>

namespace tarvex {

// For each row, first to last: finds the vendor product again by its ID
// (Primarykey index) and the host product by the vendor product's quickid
// (QuickID index, the first in index order), decides again from what the two
// databases hold now (costToWrite, priceToWrite), and saves the new host cost
// and price together in one save of that record, so that each product is left
// wholly old or wholly new. A row whose vendor or host product has vanished is
// skipped as unchanged; a vendor cost or price below zero is a failure of that
// row. Nothing is written when the host path no longer names the file that
// was opened (deleted, moved or replaced since): every row is then reported.
//
// A save that fails leaves that host record as it was and is reported in the
// result with the product code. When the host file as a whole refuses writes
// (locked by another program, read-only, unreadable), the remaining rows are
// not tried: each would only wait out the lock again. Those rows are reported
// as failed too. Rows saved before stay saved.
ApplyReport applyChanges(Database& update, Database& host, const std::vector<const ProposedChange*>& rows,
                         Prompter& prompter);

} // namespace tarvex
