// Ticks for the desktop program's charts on QCategoryAxis: round times on
// a time axis, 1, 2 or 5 times a power of ten on a value axis, labelled as
// the locale writes numbers. The axis keeps its range.
#pragma once

#include <QLocale>

class QCategoryAxis;

// Pixels a tick label needs along each kind of axis.
inline constexpr int kTimeLabelPixels = 120;
inline constexpr int kValueLabelPixels = 36;

// A new axis whose labels stand at their values.
QCategoryAxis* NewTickAxis(QObject* parent);
// Ticks at round times between the axis's ends, seconds on a calendar
// with no zone, for an axis `pixels` long.
void PlaceTimeTicks(QCategoryAxis* axis, int pixels);
// Nice value ticks; returns the decimals the labels were given.
int PlaceValueTicks(QCategoryAxis* axis, int pixels, const QLocale& locale);
