// RunHistory: the runs recorded for a host database as the user sees them,
// in the terminal (--history) and in the history window: one line a run,
// newest first.
#pragma once

#include "data/RunJournal.h"
#include "data/history/RunProducts.h"

#include <ctime>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// The titles of the columns of the run list.
std::vector<std::string> historyTitles();
// The cells of one run: number, date and time, vendor (an undo says which run
// it undid), products changed, backup file, and whether it was undone (or
// that it stopped unfinished).
std::vector<std::string> historyCells(const RunSummary& run);

// The titles of the columns of a run's product list.
std::vector<std::string> runProductTitles();
// The cells of one product of a run: code, name, cost and price before and
// after ("(empty)" for an empty field), and how its save ended.
std::vector<std::string> runProductCells(const RecordedEntry& product);

// Prints the runs recorded for hostPath, newest first, as a table on out,
// and returns the exit status; with run, the products that run wrote
// instead (an unknown run number is an error said on err). Opens nothing
// for writing: a host without a record has no runs; a record that cannot be
// read is said on err.
int printHistory(const std::string& hostPath, std::ostream& out, std::ostream& err,
                 std::optional<std::int64_t> run = std::nullopt);

} // namespace tarvex
