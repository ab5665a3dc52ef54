// ChangeTableModel: the rows of a PriceReview as a Qt table model, read
// straight from the review's plain structs, so that a list of a hundred
// thousand rows costs no item object per cell. The model shows the rows the
// view settings let through (see ReviewView), in their order; reviewRow()
// turns a model row into the review's row. Each row carries the vendor
// product's ID under Qt::UserRole, its selection as the check box of its
// first cell, and its flags as an icon and a tooltip on that cell.
#pragma once

#include "review/PriceReview.h"
#include "review/ReviewView.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

namespace tarvex {

class ChangeTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ChangeTableModel(PriceReview& review, QIcon flagIcon, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Called by the review around a change of its rows.
    void rowsAboutToChange() { beginResetModel(); }
    void rowsChanged();

    // Shows the rows settings lets through, in its order.
    void setView(const ReviewViewSettings& settings);
    const ReviewViewSettings& view() const { return m_settings; }
    // The review's row shown at a model row.
    std::size_t reviewRow(int row) const { return m_shown[static_cast<std::size_t>(row)]; }
    const std::vector<RowIndex>& shown() const { return m_shown; }
    // Tells the views that the check box of a model row changed.
    void checkChanged(int row);

signals:
    // The check box of a model row was toggled through setData.
    void checkToggled(int row, bool checked);

private:
    PriceReview& m_review;
    QIcon m_flagIcon;
    ReviewViewSettings m_settings;
    std::vector<RowIndex> m_shown;
};

} // namespace tarvex
