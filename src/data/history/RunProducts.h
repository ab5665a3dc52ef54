// RunProducts: a run record read as the user sees it: the products one run
// wrote, each host record once, and the run list with each run's products
// counted once and an undo that was itself undone no longer counting. Reads
// only; nothing here writes the record.
#pragma once

#include "data/history/RunRecordFile.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// The entries of one run, one a host record, in the order each record was
// first recorded: a product the run saved twice (a code the price list holds
// twice) is one product. Its values before are those of its first entry; its
// values after, state and reason those of its last saved entry (what the
// record got), or of its last entry when none was saved.
std::vector<RecordedEntry> runProducts(const std::vector<RecordedEntry>& entries);

// The runs of the record, newest first, as listRuns() gives them but with
// changed counting each host record once however many times the run saved
// it, and with undone NotUndone for a run whose every finished undo run was
// itself undone (PartlyUndone when one of those was partly undone): the
// products hold that run's values again.
Result<std::vector<RunSummary>> runsAsShown(RunRecordFile& record);

} // namespace tarvex
