// A price list and a host opened as the program opens them, with a review of
// the two: the many tests that build a list and apply it start from here.
#pragma once

#include "data/RunJournal.h"
#include "platform/Database.h"
#include "review/PriceReview.h"
#include "support/ScriptedPrompter.h"

#include <string>

namespace tarvex::test {

class ReviewRun {
public:
    enum class Record { No, Yes };
    // Opens both files, which must open (a file that does not stops the test
    // program). With Record::Yes the apply writes its run record, for a run
    // whose backup is the host's path with backupSuffix added.
    ReviewRun(const std::string& updatePath, const std::string& hostPath, Record record = Record::No,
              const std::string& backupSuffix = "_Tarvex_backup");

    // Builds the list and selects every row; false when the list could not
    // be built.
    bool buildAndSelectAll();

    Database update;
    Database host;
    HookedPrompter prompter;
    RunJournal journal;
    PriceReview review;
};

} // namespace tarvex::test
