// The review's rows, selection and messages over the build and apply steps.
#include "review/PriceReview.h"

#include "review/ChangeApplier.h"
#include "review/ChangeList.h"
#include "review/UndoList.h"

#include <algorithm>

namespace tarvex {

namespace {

// Up to this many product codes are named in a message's own text; longer
// lists go to its detail.
constexpr std::size_t kInlineCodes = 10;

std::string products(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " product" : " products");
}

// What an incomplete apply left where: the last lines of its message.
std::string afterword(const ApplyReport& report, const std::string& hostPath)
{
    switch (report.stopped) {
    case ApplyReport::Stop::HostLeftPath:
        if (report.updated == 0)
            return "The host database " + hostPath +
                   " was deleted, moved or replaced after it was opened; nothing was written to it.";
        return "The host database " + hostPath +
               " was deleted, moved or replaced while the update ran, and the update stopped there. The products "
               "that were updated were written to the file that was opened, which is no longer at that path: any "
               "file there now may not hold them.";
    case ApplyReport::Stop::Asked:
        if (report.updated == 0)
            return "The update was stopped by " + report.askedBy +
                   " before any product was written; they are listed again by the next run.";
        return "The update was stopped by " + report.askedBy +
               " before it was finished. The products that were updated keep their new values; the others were not "
               "written and are listed again by the next run.";
    case ApplyReport::Stop::NotRecorded:
        return "The run record could not be written, so the update stopped there: " + report.recordError +
               "\nThe products that were updated keep their new values and are in the record.";
    case ApplyReport::Stop::None:
        break;
    }
    if (report.updated == 0)
        return "Nothing was written to " + hostPath + ".";
    return "The products that were updated keep their new values.";
}

} // namespace

PriceReview::PriceReview(Database& update, Database& host, Prompter& prompter)
    : m_update(&update)
    , m_host(host)
    , m_prompter(prompter)
{
}

PriceReview::PriceReview(Database& host, Prompter& prompter, std::vector<RecordedEntry> undone)
    : m_update(nullptr)
    , m_undone(std::move(undone))
    , m_host(host)
    , m_prompter(prompter)
{
}

void PriceReview::setRowsChangingHandlers(std::function<void()> aboutToChange, std::function<void()> changed)
{
    m_aboutToChange = std::move(aboutToChange);
    m_changed = std::move(changed);
}

void PriceReview::replaceRows(std::vector<ProposedChange> rows)
{
    if (m_aboutToChange)
        m_aboutToChange();
    m_rows = std::move(rows);
    m_selected.assign(m_rows.size(), 0);
    m_flags = reviewFlags(m_rows);
    if (m_changed)
        m_changed();
}

Status PriceReview::build()
{
    Result<ChangeList> list =
        m_update ? buildChangeList(*m_update, m_host, m_prompter) : buildUndoList(m_host, m_undone);
    m_built = true;
    if (list.ok()) {
        m_unreadable = std::move(list->unreadable);
        replaceRows(std::move(list->rows));
    } else {
        m_unreadable.clear();
        replaceRows({});
    }
    m_prompter.setBusy(false);
    return list.status();
}

void PriceReview::reportUnreadable()
{
    if (m_unreadable.empty() || m_toldUnreadable)
        return;
    m_toldUnreadable = true;
    std::size_t count = m_unreadable.size();
    std::string codes = inlineCodes(m_unreadable, kInlineCodes);
    std::string text = products(count) +
                       (count == 1 ? " could not be read and is not listed" : " could not be read and are not listed");
    text += codes.empty() ? ". Their product codes are listed below." : ": " + codes + ".";
    text += "\nA vendor product without a whole-number ID, a product code that is not text, a cost, price or "
            "Delete flag that is not a number, or a cost or price below zero cannot be compared; correct it and "
            "run the update again.";
    m_prompter.showMessage(
        {text, "Products Not Listed", problemLines(m_unreadable), MessageIcon::Exclamation, MessageButtons::Ok});
}

void PriceReview::reportBuildFailure(const Status& failure)
{
    // Nothing has been written; there is no list to show.
    m_prompter.showMessage({"The list of proposed changes could not be built.", "Error Reading Database",
                            failure.error(), MessageIcon::Critical, MessageButtons::Ok});
}

void PriceReview::reportPrintFailure(const Status& failure)
{
    m_prompter.showMessage({"The list could not be printed.", "Print List", failure.error(), MessageIcon::Exclamation,
                            MessageButtons::Ok});
}

void PriceReview::reportExportFailure(const Status& failure)
{
    m_prompter.showMessage(
        {"The list could not be exported.", "Export", failure.error(), MessageIcon::Exclamation, MessageButtons::Ok});
}

RunEnd PriceReview::runEndAfter(ApplyOutcome outcome)
{
    return outcome == ApplyOutcome::Incomplete ? RunEnd::Error : RunEnd::Normal;
}

std::string PriceReview::countLabel() const
{
    if (!m_built)
        return {};
    return std::to_string(m_rows.size()) + (isUndo() ? " Products to be Put Back" : " Products to be Updated");
}

std::string PriceReview::caption() const
{
    return isUndo() ? "Undo Price Update" : kReviewCaption;
}

void PriceReview::setSelected(std::size_t row, bool selected)
{
    if (row < m_selected.size())
        m_selected[row] = selected ? 1 : 0;
}

void PriceReview::setAllSelected(bool selected)
{
    m_prompter.setBusy(true);
    std::fill(m_selected.begin(), m_selected.end(), selected ? 1 : 0);
    m_prompter.setBusy(false);
}

void PriceReview::selectAll()
{
    setAllSelected(true);
}

void PriceReview::unselectAll()
{
    setAllSelected(false);
}

std::size_t PriceReview::selectedCount() const
{
    return static_cast<std::size_t>(std::count(m_selected.begin(), m_selected.end(), 1));
}

PriceReview::ApplyOutcome PriceReview::apply()
{
    std::vector<const ProposedChange*> chosen;
    std::vector<ProductProblem> passedOver;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_selected[i])
            continue;
        if (m_rows[i].restore && m_rows[i].restore->changedSince)
            passedOver.push_back({m_rows[i].quickid, "changed since the price update it undoes; not put back"});
        else
            chosen.push_back(&m_rows[i]);
    }
    if (chosen.empty() && passedOver.empty()) {
        m_prompter.showMessage(
            {"Select products to update.", "Nothing Selected", "", MessageIcon::Exclamation, MessageButtons::Ok});
        return ApplyOutcome::NothingSelected;
    }

    m_prompter.setBusy(true);
    m_report = chosen.empty() ? ApplyReport{} : applyChanges(m_update, m_host, chosen, m_prompter, m_journal);
    m_report.failed.insert(m_report.failed.begin(), passedOver.begin(), passedOver.end());
    m_prompter.setBusy(false);
    replaceRows({});

    if (m_report.stopped == ApplyReport::Stop::NotRecorded && m_report.updated == 0) {
        m_prompter.showMessage({"The update could not be recorded, so nothing has been changed.", "Update Incomplete",
                                m_report.recordError + "\nThe backup copy is kept.", MessageIcon::Critical,
                                MessageButtons::Ok});
        return ApplyOutcome::Incomplete;
    }

    if (m_report.complete()) {
        m_prompter.showMessage(
            {"Update Complete", "", products(m_report.updated) + " updated.", MessageIcon::None, MessageButtons::Ok});
        return ApplyOutcome::Complete;
    }
    std::size_t failed = m_report.failed.size();
    std::string codes = inlineCodes(m_report.failed, kInlineCodes);
    std::string text = products(m_report.updated) + (m_report.updated == 1 ? " was updated. " : " were updated. ");
    text += products(failed) + " could not be updated";
    text += codes.empty() ? "; their product codes are listed below." : ": " + codes + ".";
    // Appended piece by piece: GCC 12 takes "\n" + a string for an
    // overlapping copy when optimising (a false -Wrestrict).
    text += '\n';
    text += afterword(m_report, m_host.path());
    m_prompter.showMessage(
        {text, "Update Incomplete", problemLines(m_report.failed), MessageIcon::Critical, MessageButtons::Ok});
    return ApplyOutcome::Incomplete;
}

} // namespace tarvex
