// The hand-over: the review window on the run's two databases, shown modally
// once its list is built.
#include "app/ReviewWindow.h"

#include "app/RunReview.h"
#include "review/PriceReview.h"
#include "review/qt/ReviewDialog.h"

#include <QTimer>

namespace tarvex {

RunEnd runReviewWindow(RunState& run, Prompter& prompter)
{
    RunReview runReview(run, prompter);
    if (!runReview.prepare())
        return RunEnd::Error;
    PriceReview& review = runReview.review();
    ReviewDialog dialog(review, prompter);
    dialog.setKeepOff(runReview.keepOff());
    Status loaded = dialog.load();
    if (!loaded.ok()) {
        review.reportBuildFailure(loaded);
        return RunEnd::Error;
    }
    // Products passed over are reported once the user can see the list.
    QTimer::singleShot(0, &dialog, [&review] { review.reportUnreadable(); });
    dialog.exec();
    return dialog.runEnd();
}

} // namespace tarvex
