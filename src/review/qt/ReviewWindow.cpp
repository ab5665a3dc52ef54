// Placeholder until the review window exists: shows where the run stands.
#include "review/qt/ReviewWindow.h"

#include "startup/ExitStatus.h"

namespace tarvex {

int runReviewWindow(RunState& run, Prompter& prompter)
{
    prompter.showMessage({"Host database opened: " + run.hostPath, "", "", MessageIcon::None, MessageButtons::Ok});
    return kExitOk;
}

} // namespace tarvex
