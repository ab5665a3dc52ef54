// ReviewDialog: the window frmUpdate, where the user sees the proposed
// changes, chooses rows and applies them, prints the list or leaves. It only
// holds widgets: the list, the selection and the apply step are PriceReview's.
// The rows highlighted in the list are the selection as the user edits it;
// each change is passed on to PriceReview as it happens, so that the review
// holds the selection and nothing copies it back at the apply. Only the
// user's selection acts change it (clicks, Ctrl/Shift-clicks, a row's check
// box, Shift with the arrow and page keys, Select All, UnSelect All); moving
// the current row or the focus never does (see ReviewTable).
//
// Around the list: a filter field and a "Flagged only" switch above it, which
// hide rows without letting go of their selection; a click on a column title
// sorts by it, again in reverse, and a third time back to the listing order;
// a second label beside Label1 says how many rows are shown and selected;
// Export... writes the shown rows as CSV. Select All and UnSelect All act on
// the shown rows; Apply applies every selected row, shown or not, and asks
// first when some are not shown. Escape with rows selected asks before
// leaving.
#pragma once

#include "data/RunEnd.h"
#include "platform/prompt/Prompter.h"
#include "review/PriceReview.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QItemSelection;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tarvex {

class ChangeTableModel;

class ReviewDialog : public QDialog {
    Q_OBJECT
public:
    ReviewDialog(PriceReview& review, Prompter& prompter, QWidget* parent = nullptr);
    ~ReviewDialog() override;

    // Builds the list (the window is not shown yet) and fills Label1. Fails
    // when the list cannot be built; see PriceReview::build().
    Status load();
    // How the run ends once the window has closed: in error after a failed
    // apply, normally otherwise.
    RunEnd runEnd() const { return m_end; }
    // The files Print List must never write over when printing to a file:
    // the databases and the backup copy.
    void setKeepOff(std::vector<std::string> files) { m_keepOff = std::move(files); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private slots:
    void applyChanges();
    void printList();
    void exportList();
    void selectAll();
    void unselectAll();

private:
    void createList();
    // Widens the Product Code column to what the longest codes of the list
    // built need (see the .cpp), taking the room from the Change column.
    void fitCodeColumn();
    QPushButton* createButton(const char* objectName, const char* text);
    // Passes a change of the rows highlighted in the list on to the review.
    void passOnSelection(const QItemSelection& selected, const QItemSelection& deselected);
    void setWorking(bool working);
    // The view settings from the filter field, the switch and the sort.
    void changeView();
    void sortBy(int section);
    // Highlights the shown rows the review holds selected, after the model
    // showed other rows; the review's selection itself does not change.
    void showSelection();
    void updateShownLabel();

    PriceReview& m_review;
    Prompter& m_prompter;
    ChangeTableModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_shown = nullptr;
    QLineEdit* m_filter = nullptr;
    QCheckBox* m_flaggedOnly = nullptr;
    // Set while the highlight is made to follow the review, whose selection
    // is then not to be changed back.
    bool m_syncing = false;
    QList<QPushButton*> m_buttons;
    bool m_working = false;
    RunEnd m_end = RunEnd::Normal;
    std::vector<std::string> m_keepOff;
};

} // namespace tarvex
