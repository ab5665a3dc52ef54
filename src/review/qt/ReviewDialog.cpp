// The review window's widgets and what its buttons do.
#include "review/qt/ReviewDialog.h"

#include "platform/text/VisibleText.h"
#include "review/ListCsv.h"
#include "review/PrintTarget.h"
#include "review/ReviewColumns.h"
#include "review/qt/ChangeTableModel.h"
#include "review/qt/ListFont.h"
#include "review/qt/ListPrinter.h"
#include "review/qt/ReviewTable.h"
#include "review/qt/TitleHeader.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

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

// The Product Code cells: a code too long for its column is cut in its
// middle, for codes that share a start and differ at the end.
class CodeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

// The widest text of cells, as font shows it, measured on the few longest
// (by length): measuring every cell of a long list would hold up its opening.
QString widestText(const std::vector<ProposedChange>& rows, ReviewColumn column, const QFontMetrics& metrics)
{
    std::vector<RowIndex> order(rows.size());
    std::iota(order.begin(), order.end(), RowIndex{0});
    std::size_t measured = std::min<std::size_t>(order.size(), 32);
    std::partial_sort(
        order.begin(), order.begin() + static_cast<std::ptrdiff_t>(measured), order.end(),
        [&](RowIndex a, RowIndex b) { return rows[a].cell(column).size() > rows[b].cell(column).size(); });
    QString widest;
    for (std::size_t i = 0; i < measured; ++i) {
        QString text = QString::fromStdString(rows[order[i]].cell(column));
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(widest))
            widest = text;
    }
    return widest;
}

} // namespace

ReviewDialog::ReviewDialog(PriceReview& review, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , m_review(review)
    , m_prompter(prompter)
{
    setObjectName(QStringLiteral("frmUpdate"));
    setWindowTitle(QString::fromStdString(m_review.caption()));
    setModal(true);

    createList();
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("Label1"));
    m_shown = new QLabel(this);
    m_shown->setObjectName(QStringLiteral("ShownLabel"));

    auto* finder = new QHBoxLayout;
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("FilterField"));
    m_filter->setPlaceholderText(QStringLiteral("Filter by code or name"));
    m_filter->setClearButtonEnabled(true);
    m_flaggedOnly = new QCheckBox(QStringLiteral("Flagged only"), this);
    m_flaggedOnly->setObjectName(QStringLiteral("FlaggedOnly"));
    m_flaggedOnly->setToolTip(QStringLiteral("Show only the rows marked for a second look"));
    finder->addWidget(m_filter, 1);
    finder->addWidget(m_flaggedOnly);
    connect(m_filter, &QLineEdit::textChanged, this, &ReviewDialog::changeView);
    connect(m_flaggedOnly, &QCheckBox::toggled, this, &ReviewDialog::changeView);

    auto* buttons = new QHBoxLayout;
    QPushButton* apply = createButton("OKButton", "Apply Changes");
    QPushButton* print = createButton("PrintButton", "Print List");
    QPushButton* select = createButton("SelectButton", "Select All");
    QPushButton* unselect = createButton("UnSelectButton", "UnSelect All");
    QPushButton* exportButton = createButton("ExportButton", "Export");
    exportButton->setText(QStringLiteral("Export\u2026"));
    QPushButton* exit = createButton("CancelButton", "Exit");
    for (QPushButton* button : {apply, print, select, unselect, exportButton})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(exit);
    connect(apply, &QPushButton::clicked, this, &ReviewDialog::applyChanges);
    connect(print, &QPushButton::clicked, this, &ReviewDialog::printList);
    connect(select, &QPushButton::clicked, this, &ReviewDialog::selectAll);
    connect(unselect, &QPushButton::clicked, this, &ReviewDialog::unselectAll);
    connect(exportButton, &QPushButton::clicked, this, &ReviewDialog::exportList);
    connect(exit, &QPushButton::clicked, this, &ReviewDialog::reject);

    auto* counts = new QHBoxLayout;
    counts->addWidget(m_count);
    counts->addStretch();
    counts->addWidget(m_shown);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(finder);
    layout->addWidget(m_list, 1);
    layout->addLayout(counts);
    layout->addLayout(buttons);

    // As wide as the columns need and as tall as most of the screen allows,
    // so that a long list shows many rows at once; nothing is remembered.
    int listWidth = 0;
    for (int c = 0; c < kReviewColumnCount; ++c)
        listWidth += m_list->columnWidth(c);
    QSize size(listWidth + 60, 520);
    if (const QScreen* shown = screen()) {
        QRect room = shown->availableGeometry();
        size = QSize(std::min(size.width(), room.width() * 95 / 100), std::max(520, room.height() * 9 / 10));
        size.setHeight(std::min(size.height(), room.height()));
    }
    resize(size);
}

ReviewDialog::~ReviewDialog()
{
    m_review.setRowsChangingHandlers({}, {});
}

void ReviewDialog::createList()
{
    m_list = new ReviewTable(this);
    m_list->setObjectName(QStringLiteral("uList"));
    m_list->setHorizontalHeader(new TitleHeader(m_list));
    m_model = new ChangeTableModel(m_review, style()->standardIcon(QStyle::SP_MessageBoxWarning), this);
    m_review.setRowsChangingHandlers([this] { m_model->rowsAboutToChange(); }, [this] { m_model->rowsChanged(); });
    m_list->setModel(m_model);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ReviewDialog::passOnSelection);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ReviewDialog::showSelection);
    connect(m_model, &ChangeTableModel::checkToggled, this, [this](int row, bool checked) {
        m_syncing = true;
        m_list->selectionModel()->select(m_model->index(row, 0),
                                         (checked ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                             QItemSelectionModel::Rows);
        m_syncing = false;
        updateShownLabel();
    });
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
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    connect(header, &QHeaderView::sectionClicked, this, &ReviewDialog::sortBy);
    double scale = pixelsPerUnit(header);
    for (ReviewColumn column : kReviewColumns)
        m_list->setColumnWidth(columnIndex(column), static_cast<int>(columnWidth(column) * scale + 0.5));
    m_list->setItemDelegateForColumn(columnIndex(ReviewColumn::ProductCode), new CodeDelegate(m_list));
}

// The Product Code cell holds the check box and, on a flagged row, the flag
// icon before the code, so that at the column's share of the width a long
// code would be cut short. The column takes the room its widest code needs,
// up to a quarter of the list's width, from the Change column, which keeps
// the room its widest label needs. A code still too long is cut in its
// middle; its tooltip holds it whole.
void ReviewDialog::fitCodeColumn()
{
    const std::vector<ProposedChange>& rows = m_review.rows();
    const int code = columnIndex(ReviewColumn::ProductCode);
    const int change = columnIndex(ReviewColumn::Change);
    QFontMetrics metrics(m_list->font());
    QStyleOptionViewItem option;
    option.initFrom(m_list);
    option.font = m_list->font();
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                      QStyleOptionViewItem::HasDisplay;
    int icon = m_list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_list);
    option.decorationSize = m_list->iconSize().isValid() ? m_list->iconSize() : QSize(icon, icon);
    option.text = widestText(rows, ReviewColumn::ProductCode, metrics);
    int needed = m_list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), m_list).width() +
                 metrics.averageCharWidth();
    int total = 0;
    for (int c = 0; c < kReviewColumnCount; ++c)
        total += m_list->columnWidth(c);
    int wanted = std::min(needed, total / 4) - m_list->columnWidth(code);
    int spare = m_list->columnWidth(change) -
                metrics.horizontalAdvance(widestText(rows, ReviewColumn::Change, metrics)) -
                4 * metrics.averageCharWidth();
    int extra = std::min(wanted, spare);
    if (extra <= 0)
        return;
    m_list->setColumnWidth(code, m_list->columnWidth(code) + extra);
    m_list->setColumnWidth(change, m_list->columnWidth(change) - extra);
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
    if (built.ok())
        fitCodeColumn();
    m_count->setText(QString::fromStdString(m_review.countLabel()));
    updateShownLabel();
    return built;
}

void ReviewDialog::changeView()
{
    ReviewViewSettings settings = m_model->view();
    settings.filter = m_filter->text().toStdString();
    settings.flaggedOnly = m_flaggedOnly->isChecked();
    m_model->setView(settings);
    // Select All and UnSelect All act on what is shown; they say so while
    // rows are hidden.
    QString scope = settings.narrowed()
                        ? QStringLiteral("Acts on the shown rows only; hidden rows keep their selection")
                        : QString();
    for (QPushButton* button : m_buttons)
        if (button->objectName() == "SelectButton" || button->objectName() == "UnSelectButton")
            button->setToolTip(scope);
}

void ReviewDialog::sortBy(int section)
{
    if (section < 0 || section >= kReviewColumnCount)
        return;
    ReviewViewSettings settings = m_model->view();
    ReviewColumn column = kReviewColumns[static_cast<std::size_t>(section)];
    // Ascending, then descending, then the listing order again.
    if (settings.sortColumn != column) {
        settings.sortColumn = column;
        settings.descending = false;
    } else if (!settings.descending) {
        settings.descending = true;
    } else {
        settings.sortColumn.reset();
    }
    QHeaderView* header = m_list->horizontalHeader();
    header->setSortIndicatorShown(settings.sortColumn.has_value());
    if (settings.sortColumn)
        header->setSortIndicator(section, settings.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_model->setView(settings);
}

void ReviewDialog::showSelection()
{
    // The highlight of the shown rows the review holds selected, a range for
    // each run of them.
    QItemSelection highlight;
    const std::vector<RowIndex>& shown = m_model->shown();
    for (std::size_t i = 0; i < shown.size();) {
        if (!m_review.isSelected(shown[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end + 1 < shown.size() && m_review.isSelected(shown[end + 1]))
            ++end;
        highlight.append(QItemSelectionRange(m_model->index(static_cast<int>(i), 0),
                                             m_model->index(static_cast<int>(end), kReviewColumnCount - 1)));
        i = end + 1;
    }
    m_syncing = true;
    m_list->selectionModel()->select(highlight, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
    updateShownLabel();
}

void ReviewDialog::updateShownLabel()
{
    std::size_t selected = m_review.selectedCount();
    std::size_t selectedShown = 0;
    for (std::size_t row : m_model->shown())
        selectedShown += m_review.isSelected(row) ? 1 : 0;
    m_shown->setText(QString::fromStdString(
        shownLabel(m_model->shown().size(), selected, m_review.rows().size(), selected - selectedShown)));
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
    if (m_syncing)
        return;
    const QItemSelectionModel* model = m_list->selectionModel();
    for (const QItemSelectionRange& range : deselected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_review.setSelected(m_model->reviewRow(row), model->rowIntersectsSelection(row, QModelIndex()));
    for (const QItemSelectionRange& range : selected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_review.setSelected(m_model->reviewRow(row), true);
    // The check boxes show the new selection.
    m_list->viewport()->update();
    updateShownLabel();
}

void ReviewDialog::applyChanges()
{
    if (m_working)
        return;
    // Rows hidden by the filter are applied too; the user is asked first,
    // with the count, since some of them cannot be seen.
    std::size_t selected = m_review.selectedCount();
    std::size_t selectedShown = 0;
    for (std::size_t row : m_model->shown())
        selectedShown += m_review.isSelected(row) ? 1 : 0;
    if (selectedShown < selected) {
        Answer go = m_prompter.showMessage(
            {"Apply the " + groupedCount(selected) + " selected changes? " + groupedCount(selected - selectedShown) +
                 (selected - selectedShown == 1 ? " of them is" : " of them are") + " not shown.",
             "Apply Changes", "", MessageIcon::Exclamation, MessageButtons::YesNo});
        if (go != Answer::Yes)
            return;
    }
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
    Status printed = tarvex::printList(m_review.rows(), printer, &m_prompter, m_keepOff, m_review.printHeading());
    m_prompter.setBusy(false);
    setWorking(false);
    if (!printed.ok())
        m_review.reportPrintFailure(printed);
}

void ReviewDialog::exportList()
{
    if (m_working)
        return;
    QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Export"), QString(),
                                                  QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (chosen.isEmpty())
        return;
    // The same care as a list printed to a file: never over a database, a
    // journal or a backup, nor over a file the user may not write.
    std::string path = chosen.toStdString();
    Result<PrintTarget> target = findPrintTarget(path, m_keepOff);
    Status written = target ? Status::success() : target.status();
    if (written.ok()) {
        setWorking(true);
        written = writeStagedText(target->path, [&](const auto& put) {
            return writeCsv(
                m_review.rows(), m_model->shown(), [&](std::size_t row) { return m_review.isSelected(row); }, put);
        });
        setWorking(false);
    }
    if (!written.ok())
        m_review.reportExportFailure(written);
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

void ReviewDialog::keyPressEvent(QKeyEvent* event)
{
    // Escape leaves at once only when nothing would be lost.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !m_working) {
        std::size_t selected = m_review.selectedCount();
        if (selected > 0 &&
            m_prompter.showMessage({"Leave without applying the " + groupedCount(selected) + " selected changes?",
                                    "Exit", "", MessageIcon::Exclamation, MessageButtons::YesNo}) != Answer::Yes) {
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
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
