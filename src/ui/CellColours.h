#pragma once
// The colour of each sample cell's curve, the same wherever a cell is drawn (the window's
// permeation view and the test report), so a reader matches a report's curve to the screen's.
// Told apart by colour-blind eyes too, and none of them the red and green of the signal chart.

#include <QColor>

namespace korvat {

// Cell 1 to 3; any other number gives black.
inline QColor cellColour(int cell) {
    switch (cell) {
    case 1: return QColor(0, 114, 178);
    case 2: return QColor(213, 94, 0);
    case 3: return QColor(0, 158, 115);
    default: return QColor(Qt::black);
    }
}

} // namespace korvat
