// ReviewDialog: the window frmUpdate, where the user sees the proposed
// changes, chooses rows and applies them, prints the list or leaves. It only
// holds widgets: the list, the selection and the apply step are PriceReview's.
#pragma once

#include "platform/Prompter.h"
#include "review/PriceReview.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableView;

namespace tarvex {

class ChangeTableModel;

class ReviewDialog : public QDialog {
    Q_OBJECT
public:
    // The body font of the list, found by its name or, where it is not
    // installed, the nearest face the system has.
    static QFont listFont();

    ReviewDialog(PriceReview& review, Prompter& prompter, QWidget* parent = nullptr);
    ~ReviewDialog() override;

    // Builds the list (the window is not shown yet) and fills Label1. Fails
    // when the list cannot be built; see PriceReview::build().
    Status load();
    // The program's exit status once the window has closed: 1 after a failed
    // apply, 0 otherwise.
    int exitStatus() const { return m_exitStatus; }
    // The files Print List must never write over when printing to a file:
    // the databases and the backup copy.
    void setKeepOff(std::vector<std::string> files) { m_keepOff = std::move(files); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private slots:
    void applyChanges();
    void printList();
    void selectAll();
    void unselectAll();

private:
    void createList();
    QPushButton* createButton(const char* objectName, const char* text);
    // Copies the rows chosen in the view into the review.
    void takeSelection();
    void setWorking(bool working);

    PriceReview& m_review;
    Prompter& m_prompter;
    ChangeTableModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_count = nullptr;
    QList<QPushButton*> m_buttons;
    bool m_working = false;
    int m_exitStatus = 0;
    std::vector<std::string> m_keepOff;
};

} // namespace tarvex
