// Keys and clicks of the review list.
#include "review/qt/ReviewTable.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace tarvex {

QItemSelectionModel::SelectionFlags ReviewTable::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    // A key alone moves the current row and nothing else; with Shift it
    // extends the selection as usual.
    if (event && event->type() == QEvent::KeyPress &&
        !(static_cast<const QKeyEvent*>(event)->modifiers() & Qt::ShiftModifier))
        return QItemSelectionModel::NoUpdate;
    return QTableView::selectionCommand(index, event);
}

bool ReviewTable::onCheckBox(const QPoint& pos) const
{
    QModelIndex index = indexAt(pos);
    if (!index.isValid() || index.column() != 0)
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    QRect box = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
    return box.contains(pos);
}

void ReviewTable::toggle(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    QModelIndex first = index.siblingAtColumn(0);
    bool checked = first.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    model()->setData(first, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void ReviewTable::mousePressEvent(QMouseEvent* event)
{
    // The box toggles its row alone: the press never reaches the view, which
    // would make it the only selected row.
    if (event->button() == Qt::LeftButton && onCheckBox(event->position().toPoint())) {
        QModelIndex index = indexAt(event->position().toPoint());
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        toggle(index);
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ReviewTable::mouseReleaseEvent(QMouseEvent* event)
{
    if (onCheckBox(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

void ReviewTable::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double click on the box toggles it back.
    if (event->button() == Qt::LeftButton && onCheckBox(event->position().toPoint())) {
        toggle(indexAt(event->position().toPoint()));
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void ReviewTable::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        toggle(currentIndex());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace tarvex
