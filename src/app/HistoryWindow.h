// HistoryWindow: the price updates recorded for a host database in a window,
// newest first, as --history prints them, from which one is chosen to undo;
// Products... lists what the selected one wrote, as --history N prints it.
// The desktop entry's "Price update history" opens it.
#pragma once

#include "data/RunJournal.h"
#include "platform/os/FileCopy.h"
#include "platform/prompt/Prompter.h"
#include "platform/os/Shell.h"
#include "startup/VendorFiles.h"

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tarvex {

class HistoryWindow : public QDialog {
public:
    // runs: newest first, as RunRecordFile::listRuns gives them.
    HistoryWindow(const std::string& hostPath, std::vector<RunSummary> runs, QWidget* parent = nullptr);

    // The run whose Undo was pressed; empty when the window was closed.
    std::optional<std::int64_t> chosenRun() const { return m_chosen; }

    QTableView* table() const { return m_table; }
    QPushButton* undoButton() const { return m_undo; }
    QPushButton* productsButton() const { return m_products; }

private:
    // The run of the selected line, when it can be undone: finished, with
    // products saved.
    std::optional<std::int64_t> selectedRun() const;

    std::vector<RunSummary> m_runs;
    QStandardItemModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QPushButton* m_undo = nullptr;
    // Lists the products the selected run wrote.
    QPushButton* m_products = nullptr;
    std::optional<std::int64_t> m_chosen;
};

// The history window of the host database a run would use (its stored
// location), and then, when a run was chosen, its undo in windows as
// runInWindows runs it. Returns the exit status; a QApplication must exist.
int runHistoryWindow(const VendorFiles& files, Prompter& prompter, Shell& shell, FileCopy& fileCopy);

} // namespace tarvex
