// The program's exit statuses.
#pragma once

namespace tarvex {

inline constexpr int kExitOk = 0;    // a run that ended normally or by the user's choice
inline constexpr int kExitError = 1; // a run that ended after an error message
inline constexpr int kExitUsage = 2; // the command line could not be understood

} // namespace tarvex
