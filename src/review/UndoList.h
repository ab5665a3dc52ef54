// UndoList: the rows of an undo's review, one for each product a recorded run
// saved, with what the host holds now and what it held before that run.
#pragma once

#include "platform/Database.h"
#include "data/history/RunRecordFile.h"
#include "review/ChangeList.h"

#include <vector>

namespace tarvex {

// For each host record with entries marked saved, in the order of its first
// entry: a row whose current values are the host record's now (0 where empty,
// or where the record is gone) and whose new values are the first entry's
// values before. A host record that no longer holds the last entry's values
// after, or is gone, is marked changed since (ChangeLabel::ChangedSince); others are
// labelled by what comes back, as a normal list labels a change. Fails, naming the file, when the host's products
// cannot be read.
Result<ChangeList> buildUndoList(Database& host, const std::vector<RecordedEntry>& entries);

} // namespace tarvex
