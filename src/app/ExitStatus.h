// The program's exit statuses, and the status for each way a run can end.
#pragma once

#include "data/RunEnd.h"

namespace tarvex {

inline constexpr int kExitOk = 0;    // a run that ended normally or by the user's choice
inline constexpr int kExitError = 1; // a run that ended after an error message
inline constexpr int kExitUsage = 2; // the command line could not be understood

inline constexpr int exitStatus(RunEnd end)
{
    return end == RunEnd::Normal ? kExitOk : kExitError;
}

} // namespace tarvex
