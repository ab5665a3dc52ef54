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

namespace {

// A read-only table model of titles and lines of cells.
QStandardItemModel* tableModel(const std::vector<std::string>& titles,
                               const std::vector<std::vector<std::string>>& lines, QObject* parent)
{
    auto* model = new QStandardItemModel(static_cast<int>(lines.size()), static_cast<int>(titles.size()), parent);
    for (std::size_t column = 0; column < titles.size(); ++column)
        model->setHorizontalHeaderItem(static_cast<int>(column),
                                       new QStandardItem(QString::fromStdString(titles[column])));
    for (std::size_t row = 0; row < lines.size(); ++row)
        for (std::size_t column = 0; column < lines[row].size(); ++column) {
            auto* item = new QStandardItem(QString::fromStdString(lines[row][column]));
            item->setEditable(false);
            model->setItem(static_cast<int>(row), static_cast<int>(column), item);
        }
    return model;
}

// The products one run wrote, in a window of their own over the history.
void showRunProducts(QWidget* parent, const std::string& hostPath, const RunSummary& run)
{
    Result<RunRecordFile> record = RunRecordFile::openForReading(hostPath);
    Result<std::vector<RecordedEntry>> entries = record ? record->entriesOf(run.number) : record.status();
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RunProducts"));
    dialog.setWindowTitle(QStringLiteral("Products of Price Update %1").arg(run.number));
    auto* layout = new QVBoxLayout(&dialog);
    std::vector<std::string> cells = historyCells(run);
    layout->addWidget(new QLabel(QString::fromStdString(
        entries ? "Products of price update " + cells[0] + " (" + cells[1] + ", " + cells[2] + "):"
                : "The products of this price update could not be read: " + entries.error())));
    std::vector<std::vector<std::string>> lines;
    for (const RecordedEntry& product : entries ? runProducts(*entries) : std::vector<RecordedEntry>())
        lines.push_back(runProductCells(product));
    auto* table = new QTableView(&dialog);
    table->setModel(tableModel(runProductTitles(), lines, &dialog));
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(820, 420);
    dialog.exec();
}

} // namespace

HistoryWindow::HistoryWindow(const std::string& hostPath, std::vector<RunSummary> runs, QWidget* parent)
    : QDialog(parent)
    , m_runs(std::move(runs))
{
    setWindowTitle("Price Update History");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromStdString("Price updates of " + hostPath + ", newest first:")));

    std::vector<std::vector<std::string>> lines;
    for (const RunSummary& run : m_runs)
        lines.push_back(historyCells(run));
    m_model = tableModel(historyTitles(), lines, this);
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
    m_products = buttons->addButton("Products\u2026", QDialogButtonBox::ActionRole);
    m_products->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_undo->setEnabled(selectedRun().has_value());
        m_products->setEnabled(m_table->selectionModel()->selectedRows().size() == 1);
    });
    connect(m_products, &QPushButton::clicked, this, [this, hostPath] {
        QModelIndexList rows = m_table->selectionModel()->selectedRows();
        if (rows.size() == 1)
            showRunProducts(this, hostPath, m_runs.at(static_cast<std::size_t>(rows.front().row())));
    });
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
    Result<std::vector<RunSummary>> runs = record ? runsAsShown(*record) : record.status();
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
