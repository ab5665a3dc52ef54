// Making a run's review and its record.
#include "app/RunReview.h"

namespace tarvex {

namespace {

RunInfo runInfoOf(const RunState& run)
{
    RunInfo info = runInfoNow(run.vendor, run.update ? run.update->path() : std::string(), run.backupPath);
    if (run.undoing) {
        info.kind = RunKind::Undo;
        info.undoes = run.undoing->number;
    }
    return info;
}

} // namespace

RunReview::RunReview(RunState& run, Prompter& prompter)
    : m_run(run)
    , m_prompter(prompter)
    , m_journal(runInfoOf(run))
{
}

bool RunReview::prepare()
{
    if (m_run.update) {
        // The record is checked while the list is built and reviewed, and
        // not again when the apply opens it, if it is unchanged by then.
        m_journal.checkAhead(m_run.host.path());
        m_review.emplace(*m_run.update, m_run.host, m_prompter);
        m_review->setJournal(&m_journal);
        m_review->setVendor(m_run.vendor);
        return true;
    }
    Status opened = m_journal.open(m_run.host);
    Result<std::vector<RecordedEntry>> entries =
        opened.ok() ? m_journal.entriesOf(m_run.undoing->number) : Result<std::vector<RecordedEntry>>(opened);
    if (!entries) {
        m_prompter.setBusy(false);
        m_prompter.showMessage({"The price update cannot be undone, so nothing has been changed.", "Undo Price Update",
                                entries.error() + "\nThe backup copy is kept.", MessageIcon::Critical,
                                MessageButtons::Ok});
        return false;
    }
    m_review.emplace(m_run.host, m_prompter, std::move(*entries));
    m_review->setJournal(&m_journal);
    m_review->setVendor("Undo of run " + std::to_string(m_run.undoing->number) + ": " + m_run.undoing->info.vendor);
    return true;
}

std::vector<std::string> RunReview::keepOff() const
{
    std::vector<std::string> files{m_run.hostPath, m_run.host.path(), m_run.backupPath};
    if (m_run.update)
        files.push_back(m_run.update->path());
    return files;
}

} // namespace tarvex
