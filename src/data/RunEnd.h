// RunEnd: how a run ended, as the start-up and the review tell it to the
// program, which turns it into its exit status (app/ExitStatus.h).
#pragma once

namespace tarvex {

enum class RunEnd {
    Normal, // the run ended normally or by the user's choice
    Error,  // the run ended after an error message
};

} // namespace tarvex
