// The review's rows as table cells.
#include "review/qt/ChangeTableModel.h"

#include "review/ReviewColumns.h"

namespace tarvex {

ChangeTableModel::ChangeTableModel(const PriceReview& review, QObject* parent)
    : QAbstractTableModel(parent)
    , m_review(review)
{
}

int ChangeTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_review.rows().size());
}

int ChangeTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kReviewColumnCount;
}

QVariant ChangeTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_review.rows().size() ||
        index.column() < 0 || index.column() >= kReviewColumnCount)
        return {};
    const ProposedChange& row = m_review.rows()[static_cast<std::size_t>(index.row())];
    ReviewColumn column = kReviewColumns[static_cast<std::size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(row.cell(column));
    case Qt::UserRole:
        return QVariant::fromValue<qlonglong>(row.vendorId);
    case Qt::TextAlignmentRole:
        return isNumberColumn(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ChangeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kReviewColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(columnTitle(kReviewColumns[static_cast<std::size_t>(section)]));
}

} // namespace tarvex
