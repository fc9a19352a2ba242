#include "desktop/qt_chart_axes.h"

#include <QCategoryAxis>
#include <algorithm>
#include <utility>
#include <vector>

#include "desktop/chart_ticks.h"

namespace {

using Ticks = std::vector<std::pair<double, QString>>;

// Replaces the categories of `axis`, keeping its range.
void SetCategories(QCategoryAxis* axis, const Ticks& ticks) {
  const double lo = axis->min();
  const double hi = axis->max();
  for (const QString& label : axis->categoriesLabels())
    axis->remove(label);
  axis->setStartValue(lo);
  for (const auto& [at, label] : ticks) {
    if (at > lo && at <= hi)
      axis->append(label, at);
  }
  axis->setRange(lo, hi);
}

}  // namespace

QCategoryAxis* NewTickAxis(QObject* parent) {
  auto* axis = new QCategoryAxis(parent);
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  return axis;
}

void PlaceTimeTicks(QCategoryAxis* axis, int pixels) {
  // A tick on the axis's very start has no room for its label: the first
  // one shown, which names the date, comes after it.
  const double lo = axis->min() + (axis->max() - axis->min()) * 1e-9;
  const TimeTicks times = RoundTimeTicks(lo, axis->max(), std::max(2, pixels / kTimeLabelPixels));
  Ticks ticks;
  for (const TimeTick& tick : times.ticks)
    ticks.emplace_back(tick.at, QString::fromStdString(tick.label));
  SetCategories(axis, ticks);
}

int PlaceValueTicks(QCategoryAxis* axis, int pixels, const QLocale& locale) {
  const ValueTicks values =
      NiceValueTicks(axis->min(), axis->max(), std::max(2, pixels / kValueLabelPixels));
  Ticks ticks;
  for (const double value : values.values)
    ticks.emplace_back(value, locale.toString(value, 'f', values.decimals));
  SetCategories(axis, ticks);
  return values.decimals;
}
