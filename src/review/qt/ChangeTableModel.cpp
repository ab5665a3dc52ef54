// The review's rows as table cells.
#include "review/qt/ChangeTableModel.h"

#include "review/ReviewColumns.h"
#include "review/ReviewFlags.h"

namespace tarvex {

ChangeTableModel::ChangeTableModel(PriceReview& review, QIcon flagIcon, QObject* parent)
    : QAbstractTableModel(parent)
    , m_review(review)
    , m_flagIcon(std::move(flagIcon))
{
    m_shown = shownRows(m_review.rows(), m_review.flags(), m_settings);
}

void ChangeTableModel::rowsChanged()
{
    m_shown = shownRows(m_review.rows(), m_review.flags(), m_settings);
    endResetModel();
}

void ChangeTableModel::setView(const ReviewViewSettings& settings)
{
    beginResetModel();
    m_settings = settings;
    m_shown = shownRows(m_review.rows(), m_review.flags(), m_settings);
    endResetModel();
}

int ChangeTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int ChangeTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kReviewColumnCount;
}

QVariant ChangeTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_shown.size() ||
        index.column() < 0 || index.column() >= kReviewColumnCount)
        return {};
    std::size_t at = reviewRow(index.row());
    const ProposedChange& row = m_review.rows()[at];
    ReviewColumn column = kReviewColumns[static_cast<std::size_t>(index.column())];
    unsigned flags = at < m_review.flags().size() ? m_review.flags()[at] : 0;
    bool first = column == ReviewColumn::ProductCode;
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(row.cell(column));
    case Qt::ToolTipRole:
        if (first && flags)
            return QString::fromStdString(row.cell(column) + "\n" + flagReasons(flags));
        return QString::fromStdString(row.cell(column));
    case Qt::DecorationRole:
        return first && flags ? QVariant(m_flagIcon) : QVariant();
    case Qt::CheckStateRole:
        return first ? QVariant(m_review.isSelected(at) ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::UserRole:
        return QVariant::fromValue<qlonglong>(row.vendorId);
    case Qt::TextAlignmentRole:
        return isNumberColumn(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool ChangeTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        static_cast<std::size_t>(index.row()) >= m_shown.size())
        return false;
    bool checked = value.toInt() == Qt::Checked;
    m_review.setSelected(reviewRow(index.row()), checked);
    checkChanged(index.row());
    emit checkToggled(index.row(), checked);
    return true;
}

void ChangeTableModel::checkChanged(int row)
{
    QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

Qt::ItemFlags ChangeTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ChangeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The title is its own tooltip: a narrow column's title is cut short.
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole) || section < 0 ||
        section >= kReviewColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(columnTitle(kReviewColumns[static_cast<std::size_t>(section)]));
}

} // namespace tarvex
