// The review window's widgets and what its buttons do.
#include "review/qt/ReviewDialog.h"

#include "review/ReviewColumns.h"
#include "review/qt/ChangeTableModel.h"
#include "review/qt/ListFont.h"
#include "review/qt/ListPrinter.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvex {

namespace {

// Pixels per width unit of the list's columns, at the least.
constexpr double kMinPixelsPerUnit = 0.8;

// Pixels per width unit: enough for every column title to show whole in the
// header's font, but never so many that the list is wider than the screen.
double pixelsPerUnit(const QHeaderView* header)
{
    QFontMetrics metrics(header->font());
    double scale = kMinPixelsPerUnit;
    for (ReviewColumn column : kReviewColumns) {
        int needed =
            metrics.horizontalAdvance(QString::fromLatin1(columnTitle(column))) + 4 * metrics.averageCharWidth();
        scale = std::max(scale, double(needed) / columnWidth(column));
    }
    if (const QScreen* screen = header->screen())
        scale = std::min(scale,
                         std::max(kMinPixelsPerUnit, 0.9 * screen->availableGeometry().width() / totalColumnWidth()));
    return scale;
}

} // namespace

ReviewDialog::ReviewDialog(PriceReview& review, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , m_review(review)
    , m_prompter(prompter)
{
    setObjectName(QStringLiteral("frmUpdate"));
    setWindowTitle(QString::fromLatin1(kReviewCaption));
    setModal(true);

    createList();
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("Label1"));

    auto* buttons = new QHBoxLayout;
    QPushButton* apply = createButton("OKButton", "Apply Changes");
    QPushButton* print = createButton("PrintButton", "Print List");
    QPushButton* select = createButton("SelectButton", "Select All");
    QPushButton* unselect = createButton("UnSelectButton", "UnSelect All");
    QPushButton* exit = createButton("CancelButton", "Exit");
    for (QPushButton* button : {apply, print, select, unselect})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(exit);
    connect(apply, &QPushButton::clicked, this, &ReviewDialog::applyChanges);
    connect(print, &QPushButton::clicked, this, &ReviewDialog::printList);
    connect(select, &QPushButton::clicked, this, &ReviewDialog::selectAll);
    connect(unselect, &QPushButton::clicked, this, &ReviewDialog::unselectAll);
    connect(exit, &QPushButton::clicked, this, &ReviewDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_count);
    layout->addLayout(buttons);

    int listWidth = 0;
    for (int c = 0; c < kReviewColumnCount; ++c)
        listWidth += m_list->columnWidth(c);
    resize(listWidth + 60, 520);
}

ReviewDialog::~ReviewDialog()
{
    m_review.setRowsChangingHandlers({}, {});
}

void ReviewDialog::createList()
{
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("uList"));
    m_model = new ChangeTableModel(m_review, this);
    m_review.setRowsChangingHandlers([this] { m_model->rowsAboutToChange(); }, [this] { m_model->rowsChanged(); });
    m_list->setModel(m_model);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ReviewDialog::passOnSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tab and Shift+Tab move the focus to the buttons and back, as in any
    // window. Left to the list, they would move its current cell, and a
    // move without Ctrl or Shift chooses the new row alone: the rows the
    // user chose would be let go without a word.
    m_list->setTabKeyNavigation(false);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setAlternatingRowColors(true);
    m_list->verticalHeader()->hide();

    // The font is set once here; the list never changes it afterwards. The
    // column titles take the same face and size and keep their own weight.
    QFont body = listFont();
    m_list->setFont(body);
    QHeaderView* header = m_list->horizontalHeader();
    QFont titles = listFont();
    titles.setWeight(header->font().weight());
    header->setFont(titles);
    // Rows of one line each, all of the same height, so that a long list
    // scrolls without measuring every row.
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(QFontMetrics(body).height() + 6);

    header->setStretchLastSection(true);
    header->setHighlightSections(false);
    // A title that still does not fit is cut at its end, not in its middle.
    header->setTextElideMode(Qt::ElideRight);
    double scale = pixelsPerUnit(header);
    for (ReviewColumn column : kReviewColumns)
        m_list->setColumnWidth(columnIndex(column), static_cast<int>(columnWidth(column) * scale + 0.5));
}

QPushButton* ReviewDialog::createButton(const char* objectName, const char* text)
{
    auto* button = new QPushButton(QString::fromLatin1(text), this);
    button->setObjectName(QString::fromLatin1(objectName));
    // Enter must never apply changes by accident.
    button->setAutoDefault(false);
    button->setDefault(false);
    m_buttons.append(button);
    return button;
}

Status ReviewDialog::load()
{
    m_count->clear();
    setWorking(true);
    Status built = m_review.build();
    setWorking(false);
    m_count->setText(QString::fromStdString(m_review.countLabel()));
    return built;
}

void ReviewDialog::setWorking(bool working)
{
    // Clicks are held back while the work runs; disabled buttons also show
    // that they would do nothing now.
    m_working = working;
    for (QPushButton* button : m_buttons)
        button->setEnabled(!working);
}

void ReviewDialog::passOnSelection(const QItemSelection& selected, const QItemSelection& deselected)
{
    // A row counts as selected while any of its cells is, so a row that lost
    // some cells is looked up again; rows outside the list are ignored.
    const QItemSelectionModel* model = m_list->selectionModel();
    for (const QItemSelectionRange& range : deselected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_review.setSelected(static_cast<std::size_t>(row), model->rowIntersectsSelection(row, QModelIndex()));
    for (const QItemSelectionRange& range : selected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_review.setSelected(static_cast<std::size_t>(row), true);
}

void ReviewDialog::applyChanges()
{
    if (m_working)
        return;
    setWorking(true);
    PriceReview::ApplyOutcome outcome = m_review.apply();
    setWorking(false);
    if (outcome == PriceReview::ApplyOutcome::NothingSelected)
        return;
    m_count->setText(QString::fromStdString(m_review.countLabel()));
    m_end = PriceReview::runEndAfter(outcome);
    done(outcome == PriceReview::ApplyOutcome::Complete ? QDialog::Accepted : QDialog::Rejected);
}

void ReviewDialog::printList()
{
    if (m_working)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(QString::fromLatin1(kPrintTitle));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    setWorking(true);
    m_prompter.setBusy(true);
    Status printed = tarvex::printList(m_review.rows(), printer, &m_prompter, m_keepOff);
    m_prompter.setBusy(false);
    setWorking(false);
    if (!printed.ok())
        m_review.reportPrintFailure(printed);
}

void ReviewDialog::selectAll()
{
    if (m_working)
        return;
    m_prompter.setBusy(true);
    m_list->selectAll();
    m_prompter.setBusy(false);
}

void ReviewDialog::unselectAll()
{
    if (m_working)
        return;
    m_prompter.setBusy(true);
    m_list->clearSelection();
    m_prompter.setBusy(false);
}

void ReviewDialog::reject()
{
    // Exit, Escape and the window's close box all end here; none of them may
    // close the window half-way through building, applying or printing.
    if (m_working)
        return;
    QDialog::reject();
}

void ReviewDialog::closeEvent(QCloseEvent* event)
{
    if (m_working) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace tarvex
