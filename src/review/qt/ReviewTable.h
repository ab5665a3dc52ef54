// ReviewTable: the list of the review window, a table view whose selection
// only the user's selection acts change: clicks, Ctrl- and Shift-clicks,
// Shift with the arrow and page keys, Ctrl+A. Moving the current row with
// the keys alone, or the focus with Tab, never does. A click on a row's check
// box, and Space, toggle that row alone through the model's check state.
#pragma once

#include <QTableView>

namespace tarvex {

class ReviewTable : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Whether pos (in the viewport) is on the check box of a row.
    bool onCheckBox(const QPoint& pos) const;
    void toggle(const QModelIndex& index);
};

} // namespace tarvex
