// The hand-over from the start-up to the price change review window.
#pragma once

#include "data/RunState.h"
#include "platform/Prompter.h"

namespace tarvex {

// Shows the review window modally on the run's two databases and returns the
// program's exit status once it has closed.
int runReviewWindow(RunState& run, Prompter& prompter);

} // namespace tarvex
