// ChangeTableModel: the rows of a PriceReview as a Qt table model, read
// straight from the review's plain structs, so that a list of a hundred
// thousand rows costs no item object per cell. Each row carries the vendor
// product's ID under Qt::UserRole.
#pragma once

#include "review/PriceReview.h"

#include <QAbstractTableModel>

namespace tarvex {

class ChangeTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ChangeTableModel(const PriceReview& review, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Called by the review around a change of its rows.
    void rowsAboutToChange() { beginResetModel(); }
    void rowsChanged() { endResetModel(); }

private:
    const PriceReview& m_review;
};

} // namespace tarvex
