// RunHistory: the runs recorded for a host database as the user sees them,
// in the terminal (--history) and in the history window: one line a run,
// newest first.
#pragma once

#include "data/RunJournal.h"

#include <ctime>
#include <iosfwd>
#include <string>
#include <vector>

namespace tarvex {

// The titles of the columns of the run list.
std::vector<std::string> historyTitles();
// The cells of one run: number, date and time, vendor (an undo says which run
// it undid), products changed, backup file, and whether it was undone (or
// that it stopped unfinished).
std::vector<std::string> historyCells(const RunSummary& run);

// Prints the runs recorded for hostPath, newest first, as a table on out,
// and returns the exit status. Opens nothing for writing: a host without a
// record has no runs; a record that cannot be read is said on err.
int printHistory(const std::string& hostPath, std::ostream& out, std::ostream& err);

} // namespace tarvex
