// The run in windows: the splash window, whose timer runs the start-up with
// the given prompts and hands over to the review window, and the end of the
// application with the run's exit status.
#pragma once

#include "platform/os/FileCopy.h"
#include "platform/prompt/Prompter.h"
#include "platform/os/Shell.h"
#include "startup/StartupSequence.h"
#include "startup/VendorFiles.h"

#include <optional>
#include <string>

namespace tarvex {

// Shows the splash and runs the application's event loop until the run is
// over; returns the exit status. With undo, the run is that undo. A
// QApplication must exist.
int runInWindows(const VendorFiles& files, Prompter& prompter, Shell& shell, FileCopy& fileCopy,
                 std::optional<UndoRequest> undo = std::nullopt);

} // namespace tarvex
