// PriceReview: the price change review without its widgets. It builds the list
// of proposed changes, keeps the user's choice of rows, applies the chosen
// rows and says how that went, all through the Prompter. The review window
// and the terminal review are thin front ends over this one class.
#pragma once

#include "data/RunEnd.h"
#include "data/RunJournal.h"
#include "platform/Database.h"
#include "platform/prompt/Prompter.h"
#include "review/ApplyReport.h"
#include "review/PrintHeading.h"
#include "review/ProductProblem.h"
#include "review/ProposedChange.h"
#include "review/ReviewFlags.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tarvex {

class PriceReview {
public:
    enum class ApplyOutcome {
        NothingSelected, // "Nothing Selected" was shown; nothing written, the list is unchanged
        Complete,        // every selected row was handled; "Update Complete" was shown
        Incomplete,      // some row could not be written; a critical message named them
    };

    PriceReview(Database& update, Database& host, Prompter& prompter);
    // The review of an undo: its rows are the saved products of a recorded
    // run (see buildUndoList), put back to their values before that run.
    PriceReview(Database& host, Prompter& prompter, std::vector<RecordedEntry> undone);

    // Records the apply in journal (see applyChanges); without one nothing is
    // recorded. The journal outlives the review.
    void setJournal(RunJournal* journal) { m_journal = journal; }

    // Front ends that show the rows are told before and after the rows change
    // (the list is built, or emptied after an apply), to refresh their view.
    void setRowsChangingHandlers(std::function<void()> aboutToChange, std::function<void()> changed);

    // Builds the list from the two databases and switches the busy pointer off
    // (the caller switched it on before handing over), also on failure. Fails
    // with a text naming the file when the list cannot be built at all; the
    // list is then empty.
    Status build();
    // Tells the user once, after the list is shown, which products could not
    // be read and are therefore not listed. Does nothing when there are none
    // or when it has already told.
    void reportUnreadable();
    // Tells the user that the list could not be built, with the reason
    // build() gave; the run then ends in error.
    void reportBuildFailure(const Status& failure);
    // Tells the user that exporting the list failed, with the reason; the
    // review stays open.
    void reportExportFailure(const Status& failure);
    // Tells the user that printing the list failed, with the reason; the
    // review stays open.
    void reportPrintFailure(const Status& failure);

    // The vendor named on every printed page.
    void setVendor(std::string vendor) { m_vendor = std::move(vendor); }
    // What a printed list says besides its rows: the vendor, the host file,
    // the selection; the time is that of printing.
    PrintHeading printHeading() const { return {m_vendor, m_host.path(), 0, m_selected}; }

    const std::vector<ProposedChange>& rows() const { return m_rows; }
    const std::vector<ProductProblem>& unreadable() const { return m_unreadable; }
    // The flags of each row (see reviewFlags), kept with the rows.
    const std::vector<unsigned>& flags() const { return m_flags; }
    // "N Products to be Updated", for an undo "N Products to be Put Back";
    // empty before the list is built.
    std::string countLabel() const;
    // The window's caption: "Proposed Changes to Products ", for an undo
    // "Undo Price Update", so that the two are never taken for each other.
    std::string caption() const;
    bool isUndo() const { return m_update == nullptr; }

    bool isSelected(std::size_t row) const { return row < m_selected.size() && m_selected[row]; }
    // Ignored for a row that does not exist.
    void setSelected(std::size_t row, bool selected);
    // Select every row or none, with the busy pointer on meanwhile.
    void selectAll();
    void unselectAll();
    std::size_t selectedCount() const;

    // Writes the selected rows into the host database (see applyChanges) and
    // tells the user the outcome. A selected row of an undo that is marked
    // changed since is not written, and is named as not updated. With no row selected it only shows
    // "Nothing Selected". Otherwise the list is emptied and the run is over:
    // either "Update Complete" with "N products updated." below it, or a critical message with how many products
    // were updated and which could not be, and, when the apply stopped early
    // (a stop signal, the host file leaving its path), why and where the
    // updated products are.
    ApplyOutcome apply();
    // How the run ends once an apply that was not refused has ended the
    // review: normally after "Update Complete", in error otherwise.
    static RunEnd runEndAfter(ApplyOutcome outcome);
    // What the last apply did; empty before one ran.
    const ApplyReport& lastReport() const { return m_report; }

private:
    void setAllSelected(bool selected);
    void replaceRows(std::vector<ProposedChange> rows);

    Database* m_update;
    std::vector<RecordedEntry> m_undone;
    RunJournal* m_journal = nullptr;
    Database& m_host;
    Prompter& m_prompter;
    std::vector<ProposedChange> m_rows;
    std::vector<char> m_selected;
    std::vector<unsigned> m_flags;
    std::string m_vendor;
    std::vector<ProductProblem> m_unreadable;
    bool m_built = false;
    bool m_toldUnreadable = false;
    ApplyReport m_report;
    std::function<void()> m_aboutToChange;
    std::function<void()> m_changed;
};

} // namespace tarvex
