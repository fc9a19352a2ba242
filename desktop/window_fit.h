// Keeps the desktop program's windows on a small screen: a window opens at
// the size it would like where the screen's available area has room for it
// with its frame, and smaller where it has not, and it is placed inside
// that area.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

// The size of a window's inside that, with `frame` around it, fits
// `available`: `wanted` where there is room, cut down where not.
QSize SizeWithin(QSize wanted, QRect available, QMargins frame);

// Resizes `window` to `wanted` as far as its screen allows, lowers its
// minimum size where that is larger than the screen, and moves it inside
// the screen's available area.
void FitToScreen(QWidget* window, QSize wanted);

// Moves `window` so that it stands centred over `anchor` (a window shown
// elsewhere on the screen), before FitToScreen keeps it inside the screen.
void CentreOver(QWidget* window, const QWidget* anchor);
