// RunReview: the review a run hands over to, with the run record it keeps:
// the price list's proposed changes, or, for an undo, the products of the run
// it undoes. The terminal review and the review window both start here.
#pragma once

#include "data/RunJournal.h"
#include "data/RunState.h"
#include "platform/prompt/Prompter.h"
#include "review/PriceReview.h"

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

class RunReview {
public:
    // run and prompter outlive this.
    RunReview(RunState& run, Prompter& prompter);

    // Makes the review. For an undo the record is opened first (runs left
    // unfinished put right) and the undone run's products read; when that
    // fails the user has been told, nothing was changed, and it returns false.
    bool prepare();
    PriceReview& review() { return *m_review; }
    // The files the list is never printed over.
    std::vector<std::string> keepOff() const;

private:
    RunState& m_run;
    Prompter& m_prompter;
    RunJournal m_journal;
    std::optional<PriceReview> m_review;
};

} // namespace tarvex
