// The font of the list of proposed changes, in the window and on paper:
// Century Gothic, 8.25 points, regular, or where that face is not installed
// the nearest sans-serif face the system has. Every place that draws the list
// takes its font from here.
#pragma once

#include <QFont>

namespace tarvex {

// The list's font; bold for the column titles on paper.
QFont listFont(bool bold = false);

// The same face at another size, for the titles above the printed list.
QFont listFont(double pointSize, bool bold);

} // namespace tarvex
