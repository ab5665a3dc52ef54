// A table of bad inputs: each spoils the files of a Scenario in one way and
// says where the run must end and what its message must name. runBadInputs()
// runs every case in a fresh folder and makes the checks that hold for all of
// them.
#pragma once

#include "Scenario.h"

#include <functional>
#include <string>
#include <vector>

namespace tarvex::test {

struct BadInput {
    std::string name;
    std::function<void(Scenario&)> spoil;
    End end;
    // Texts the outcome's detail must hold; "{update}", "{host}", "{data}"
    // and "{desktop}" stand for those paths of the scenario.
    std::vector<std::string> detailHas;
    // Further checks of this case, after the common ones.
    std::function<void(Scenario&, const RunOutcome&)> check;
};

// Runs each case and checks: the run ends where the case says, the detail
// holds the texts it names, an error box has the caption, icon and button of
// that end, a price list or vendor that cannot be used ends the run before
// any question, no backup is made by a run that ends before the backup, no
// unfinished copy is left beside the host or on the desktop, a host database
// is byte for byte unchanged unless the run got as far as applying, and a
// host database that was written passes SQLite's integrity check.
void runBadInputs(const std::string& group, const std::vector<BadInput>& cases);

// Replaces the file at path (or puts one there) with bytes.
void replaceWith(const std::string& path, const std::string& bytes);

// A bind of any value into one field of a table, for values SQL text cannot
// spell (a NaN).
void setField(const std::string& path, const std::string& table, const std::string& column, std::int64_t rowid,
              double value);

} // namespace tarvex::test
