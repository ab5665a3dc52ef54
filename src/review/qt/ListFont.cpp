// The list's font.
#include "review/qt/ListFont.h"

namespace tarvex {

namespace {

constexpr double kListPointSize = 8.25;

} // namespace

QFont listFont(bool bold)
{
    return listFont(kListPointSize, bold);
}

QFont listFont(double pointSize, bool bold)
{
    QFont font(QStringLiteral("Century Gothic"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace tarvex
