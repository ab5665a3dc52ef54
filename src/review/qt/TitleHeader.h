// TitleHeader: the column titles of the review list. A title too long for
// its column is broken between its words onto as many lines as it needs, and
// the header grows to the tallest title: on a small screen "Current Cost"
// and "Current Price" show whole, not cut to the same "Current ...". A word
// still too long for its column alone is cut in its middle, keeping both
// ends. The tooltip holds the whole title, as before. A column resized
// resizes the header with it (the view asks for its height again).
#pragma once

#include <QHeaderView>

namespace tarvex {

class TitleHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TitleHeader(QWidget* parent = nullptr);

    // The title of the column at logicalIndex as the header shows it at the
    // column's width: its lines joined by '\n'.
    QString shownTitle(int logicalIndex) const;

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    // The width the style leaves for the title of a section width wide.
    int titleRoom(int logicalIndex, int width) const;
};

} // namespace tarvex
