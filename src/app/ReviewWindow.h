// The hand-over from the start-up to the price change review window.
#pragma once

#include "data/RunEnd.h"
#include "data/RunState.h"
#include "platform/prompt/Prompter.h"

namespace tarvex {

// Shows the review window modally on the run's two databases and says how
// the run ended once it has closed.
RunEnd runReviewWindow(RunState& run, Prompter& prompter);

} // namespace tarvex
