#include "desktop/qt_chart_axes.h"

#include <QCategoryAxis>
#include <QFontMetricsF>
#include <algorithm>
#include <utility>
#include <vector>

#include "desktop/chart_ticks.h"

namespace {

using Ticks = std::vector<std::pair<double, QString>>;

// Ticks near the axis's start that may be left out for want of room; more
// than this would mean labels wider than the axis.
constexpr int kStartTicksSkipped = 3;
// Room kept between a label and the axis's start.
constexpr double kLabelMarginPixels = 2.0;
// Room between neighbouring time labels, and how often the ticks may be
// made denser where the labels are short.
constexpr double kLabelGapPixels = 16.0;
constexpr int kDenserTries = 3;

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

// The pixels the labels take side by side, with a gap before each.
double LabelsWidth(const TimeTicks& times, const QFontMetricsF& metrics) {
  double width = 0.0;
  for (const TimeTick& tick : times.ticks)
    width += metrics.horizontalAdvance(QString::fromStdString(tick.label)) + kLabelGapPixels;
  return width;
}

// Round times at most `most` of them; more where the labels are short
// (years, hours) and still fit `pixels` with room between them.
TimeTicks DenserWhereLabelsAreShort(double lo, double hi, int most, int pixels,
                                    const QFontMetricsF& metrics) {
  TimeTicks times = RoundTimeTicks(lo, hi, most);
  for (int tries = 0; tries < kDenserTries; ++tries) {
    const TimeTicks denser = RoundTimeTicks(lo, hi, most * 2);
    if (denser.ticks.size() <= times.ticks.size())
      break;
    // Spread evenly, the widest label also needs room beside its neighbours.
    if (2.0 * LabelsWidth(denser, metrics) > pixels)
      break;
    times = denser;
    most *= 2;
  }
  return times;
}

}  // namespace

QCategoryAxis* NewTickAxis(QObject* parent) {
  auto* axis = new QCategoryAxis(parent);
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  return axis;
}

void PlaceTimeTicks(QCategoryAxis* axis, int pixels) {
  const double span = axis->max() - axis->min();
  const int most = std::max(2, pixels / kTimeLabelPixels);
  if (!(span > 0.0) || pixels <= 0) {
    SetCategories(axis, {});
    return;
  }
  // The chart hides a label that would stick out past the axis's start,
  // and the first label is the one that names the date: ticks closer to
  // the start than half their label are left out, so that the first one
  // drawn is dated.
  const QFontMetricsF metrics(axis->labelsFont());
  double lo = axis->min() + span * 1e-9;
  TimeTicks times = DenserWhereLabelsAreShort(lo, axis->max(), most, pixels, metrics);
  for (int tries = 0; tries < kStartTicksSkipped && !times.ticks.empty(); ++tries) {
    const TimeTick& first = times.ticks.front();
    const double room = (first.at - axis->min()) / span * pixels;
    const double half = metrics.horizontalAdvance(QString::fromStdString(first.label)) / 2.0;
    if (room >= half + kLabelMarginPixels)
      break;
    lo = first.at + times.step * 1e-6;
    times = RoundTimeTicks(lo, axis->max(), static_cast<int>(times.ticks.size()) + 1);
  }
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
