// The history window's table and buttons, and the undo it leads to.
#include "app/HistoryWindow.h"

#include "app/ExitStatus.h"
#include "app/RunHistory.h"
#include "app/WindowFrontEnd.h"
#include "data/HostLocator.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace tarvex {

HistoryWindow::HistoryWindow(const std::string& hostPath, std::vector<RunSummary> runs, QWidget* parent)
    : QDialog(parent)
    , m_runs(std::move(runs))
{
    setWindowTitle("Price Update History");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromStdString("Price updates of " + hostPath + ", newest first:")));

    std::vector<std::string> titles = historyTitles();
    m_model = new QStandardItemModel(static_cast<int>(m_runs.size()), static_cast<int>(titles.size()), this);
    for (std::size_t column = 0; column < titles.size(); ++column)
        m_model->setHorizontalHeaderItem(static_cast<int>(column),
                                         new QStandardItem(QString::fromStdString(titles[column])));
    for (std::size_t row = 0; row < m_runs.size(); ++row) {
        std::vector<std::string> cells = historyCells(m_runs[row]);
        for (std::size_t column = 0; column < cells.size(); ++column) {
            auto* item = new QStandardItem(QString::fromStdString(cells[column]));
            item->setEditable(false);
            m_model->setItem(static_cast<int>(row), static_cast<int>(column), item);
        }
    }
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab goes on to the buttons; within the table it would move the
    // current cell, and past a row's last cell choose the next run.
    m_table->setTabKeyNavigation(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();
    layout->addWidget(m_table);

    auto* buttons = new QDialogButtonBox(this);
    m_undo = buttons->addButton("Undo", QDialogButtonBox::AcceptRole);
    m_undo->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_undo->setEnabled(selectedRun().has_value()); });
    connect(m_undo, &QPushButton::clicked, this, [this] {
        m_chosen = selectedRun();
        if (m_chosen)
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(760, 360);
}

std::optional<std::int64_t> HistoryWindow::selectedRun() const
{
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return std::nullopt;
    const RunSummary& run = m_runs.at(static_cast<std::size_t>(rows.front().row()));
    if (!run.finished || run.changed == 0)
        return std::nullopt;
    return run.number;
}

int runHistoryWindow(const VendorFiles& files, Prompter& prompter, Shell& shell, FileCopy& fileCopy)
{
    // The stored location only: the history of a host chosen by a shortcut
    // is reached through the undo, which asks for one.
    HostLocator locator(files.folder, prompter, shell);
    StoredLocation stored = locator.stored();
    if (stored.path.empty()) {
        prompter.showMessage({"No host database location is stored.", "Price Update History",
                              "None of " + settingsFilesText(files.folder) +
                                  " names a host database (section Settings, key DBLocation).",
                              MessageIcon::Critical, MessageButtons::Ok});
        return kExitError;
    }
    std::string hostPath = locator.redirect(stored.path);
    Result<RunRecordFile> record = RunRecordFile::openForReading(hostPath);
    Result<std::vector<RunSummary>> runs = record ? record->listRuns() : record.status();
    if (!runs) {
        prompter.showMessage({"The price update history could not be read.", "Price Update History", runs.error(),
                              MessageIcon::Critical, MessageButtons::Ok});
        return kExitError;
    }
    HistoryWindow window(hostPath, std::move(*runs));
    if (window.exec() != QDialog::Accepted || !window.chosenRun())
        return kExitOk;
    return runInWindows(files, prompter, shell, fileCopy, UndoRequest{window.chosenRun()});
}

} // namespace tarvex
