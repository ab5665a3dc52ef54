// The review list's column titles, on as many lines as their columns need.
#include "review/qt/TitleHeader.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>

namespace tarvex {

namespace {

// text's words on lines at most room wide, each line as full as it goes; a
// word wider than room alone is cut in its middle.
QString linesOf(const QString& text, const QFontMetrics& metrics, int room)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (line.isEmpty() || metrics.horizontalAdvance(longer) <= room) {
            line = longer;
            continue;
        }
        lines << line;
        line = word;
    }
    lines << line;
    for (QString& each : lines)
        each = metrics.elidedText(each, Qt::ElideMiddle, room);
    return lines.join(u'\n');
}

} // namespace

TitleHeader::TitleHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
}

int TitleHeader::titleRoom(int logicalIndex, int width) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = QRect(0, 0, width, height());
    return style()->subElementRect(QStyle::SE_HeaderLabel, &option, this).width();
}

QString TitleHeader::shownTitle(int logicalIndex) const
{
    if (!model())
        return {};
    const QString title = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    return linesOf(title, fontMetrics(), titleRoom(logicalIndex, sectionSize(logicalIndex)));
}

QSize TitleHeader::sectionSizeFromContents(int logicalIndex) const
{
    // The style's size for one line, and a line more for each line more.
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    const auto extraLines = shownTitle(logicalIndex).count(u'\n');
    size.rheight() += static_cast<int>(extraLines) * fontMetrics().lineSpacing();
    return size;
}

void TitleHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    // The section as the style draws it, without its title; then the title
    // on its lines, where the style would put it.
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    const QString title = linesOf(option.text, fontMetrics(), label.width());
    option.text.clear();
    // The style's drawing of a section puts back the clip it found as a
    // region, which clips everything away where the painter had none: the
    // painter's whole state is put back after it instead.
    painter->save();
    painter->setBrushOrigin(rect.topLeft());
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();
    painter->save();
    painter->setFont(font());
    style()->drawItemText(painter, label, static_cast<int>(option.textAlignment), option.palette, isEnabled(), title,
                          QPalette::ButtonText);
    painter->restore();
}

} // namespace tarvex
