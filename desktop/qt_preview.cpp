#include "desktop/qt_preview.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QScatterSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "desktop/chart_ticks.h"
#include "desktop/qt_chart_axes.h"
#include "desktop/window_fit.h"

namespace {

// One key press zooms by this factor and pans by this share of the view.
constexpr double kKeyZoom = 1.5;
constexpr double kKeyPan = 0.1;
constexpr double kWheelZoom = 1.25;
const QSize kPreferredSize(820, 480);
const QSize kSmallestChart(320, 180);
// The whole view starts a little before the first reading, by at most this
// share of the readings' span, reckoned on a plot at least this wide.
constexpr double kMostLeadShare = 0.25;
constexpr double kNarrowestPlot = 200.0;
constexpr double kLeadMarginPixels = 4.0;

// The chart view with wheel zoom about the pointer, panning with the right
// button and the crosshair under the pointer; the rubber band (left button)
// zooms into a rectangle. Keys go to the window.
class ZoomingChartView : public QChartView {
 public:
  ZoomingChartView(QChart* chart, QWidget* parent, std::function<void(QPointF)> pointer,
                   std::function<bool(int)> key)
      : QChartView(chart, parent), pointer_(std::move(pointer)), key_(std::move(key)) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const double factor = event->angleDelta().y() > 0 ? kWheelZoom : 1.0 / kWheelZoom;
    QRectF area = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    area.setWidth(area.width() / factor);
    area.setHeight(area.height() / factor);
    area.moveCenter(at - (at - chart()->plotArea().center()) / factor);
    chart()->zoomIn(area);
    event->accept();
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::RightButton) {
      panning_ = true;
      last_ = event->position();
      event->accept();
      return;
    }
    QChartView::mousePressEvent(event);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    pointer_(mapToScene(event->position().toPoint()));
    if (panning_) {
      const QPointF step = event->position() - last_;
      chart()->scroll(-step.x(), step.y());
      last_ = event->position();
      event->accept();
      return;
    }
    QChartView::mouseMoveEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    // The right button ends panning and never reaches the rubber band, whose
    // right click zooms out; Home and the reset button do better.
    if (event->button() == Qt::RightButton) {
      panning_ = false;
      event->accept();
      return;
    }
    QChartView::mouseReleaseEvent(event);
  }
  void leaveEvent(QEvent* event) override {
    pointer_(QPointF(-1.0, -1.0));
    QChartView::leaveEvent(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (key_(event->key())) {
      event->accept();
      return;
    }
    QChartView::keyPressEvent(event);
  }

 private:
  std::function<void(QPointF)> pointer_;
  std::function<bool(int)> key_;
  bool panning_ = false;
  QPointF last_;
};

}  // namespace

QString PreviewSavePath(const QString& dumpPath) {
  if (dumpPath.isEmpty())
    return QDir::home().filePath(QStringLiteral("preview.png"));
  const QFileInfo dump(dumpPath);
  return dump.dir().filePath(dump.completeBaseName() + QStringLiteral("-preview.png"));
}

QString CrosshairReadout(double time, double value, int decimals, const QLocale& locale) {
  return QStringLiteral("%1  ·  %2")
      .arg(QString::fromStdString(TimeReadout(time)), locale.toString(value, 'f', decimals));
}

namespace {

constexpr double kFlaggedMarkerSize = 7.0;

QScatterSeries* FlaggedSeries(QChart* chart, const QColor& colour) {
  auto* series = new QScatterSeries(chart);
  series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
  series->setMarkerSize(kFlaggedMarkerSize);
  series->setColor(colour);
  series->setBorderColor(colour.darker());
  return series;
}

void ShowInLegend(QChart* chart, QAbstractSeries* series, bool shown) {
  for (QLegendMarker* marker : chart->legend()->markers(series))
    marker->setVisible(shown);
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("previewWindow"));
  setWindowTitle(QStringLiteral("Preview — ZORQConvert"));
  chart_ = new QChart;
  chart_->legend()->setAlignment(Qt::AlignBottom);
  axisX_ = NewTickAxis(chart_);
  axisY_ = NewTickAxis(chart_);
  chart_->addAxis(axisX_, Qt::AlignBottom);
  chart_->addAxis(axisY_, Qt::AlignLeft);
  Area(0);
  marks_ = new QScatterSeries(chart_);
  marks_->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
  marks_->setMarkerSize(11.0);
  marks_->setColor(QColor(0xd0, 0x60, 0x10));
  marks_->setBorderColor(QColor(0x60, 0x20, 0x00));
  chart_->addSeries(marks_);
  marks_->attachAxis(axisX_);
  marks_->attachAxis(axisY_);
  suspect_ = FlaggedSeries(chart_, QColor(0xe8, 0xb0, 0x00));
  bad_ = FlaggedSeries(chart_, QColor(0xd0, 0x10, 0x20));
  for (QScatterSeries* flagged : {suspect_, bad_}) {
    chart_->addSeries(flagged);
    flagged->attachAxis(axisX_);
    flagged->attachAxis(axisY_);
  }
  QPen crossPen(QColor(0x40, 0x40, 0x40));
  crossPen.setStyle(Qt::DashLine);
  crossTime_ = new QGraphicsLineItem(chart_);
  crossValue_ = new QGraphicsLineItem(chart_);
  for (QGraphicsLineItem* line : {crossTime_, crossValue_}) {
    line->setPen(crossPen);
    line->setZValue(10.0);
    line->hide();
  }
  view_ = new ZoomingChartView(
      chart_, this, [this](QPointF at) { PointAt(at); },
      [this](int key) { return HandleKey(key); });
  view_->setMinimumSize(kSmallestChart);

  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("previewNote"));
  note_->setWordWrap(true);
  readout_ = new QLabel(this);
  readout_->setObjectName(QStringLiteral("previewReadout"));
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* reset = new QPushButton(QStringLiteral("&Reset zoom"), this);
  reset->setObjectName(QStringLiteral("previewReset"));
  reset->setToolTip(QStringLiteral("Show the whole conversion again (Home)"));
  auto* save = new QPushButton(QStringLiteral("&Save as PNG…"), this);
  save->setObjectName(QStringLiteral("previewSave"));
  save->setToolTip(QStringLiteral("Save the chart as it is shown as a PNG image beside the dump"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(note_, 1);
  buttons->addWidget(reset);
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addWidget(readout_);
  layout->addLayout(buttons);
  view_->setToolTip(
      QStringLiteral("Drag with the left button to zoom into a rectangle, turn the wheel or press "
                     "+ and − to zoom, drag with the right button or press the arrow keys to pan, "
                     "Home to see everything"));

  redraw_ = new QTimer(this);
  redraw_->setSingleShot(true);
  redraw_->setInterval(0);
  connect(redraw_, &QTimer::timeout, this, [this] {
    if (wholeView_) {
      ResetZoom();
      return;
    }
    PlaceTicks();
    Redecimate();
  });
  for (QCategoryAxis* axis : {axisX_, axisY_}) {
    connect(axis, &QValueAxis::rangeChanged, this, [this] {
      if (resetting_)
        return;
      wholeView_ = false;
      redraw_->start();
    });
  }
  connect(chart_, &QChart::plotAreaChanged, this, [this] { redraw_->start(); });
  connect(reset, &QPushButton::clicked, this, [this] { ResetZoom(); });
  connect(save, &QPushButton::clicked, this, [this] { AskAndSave(); });
  resize(kPreferredSize);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The first time over the main window; later where the operator left it.
  if (!std::exchange(placed_, true) && parentWidget() != nullptr)
    CentreOver(this, parentWidget()->window());
  FitToScreen(this, size());
  view_->setFocus();
}

QAreaSeries* PreviewWindow::Area(int run) {
  while (static_cast<int>(areas_.size()) <= run) {
    auto* area = new QAreaSeries(new QLineSeries(chart_), new QLineSeries(chart_));
    QPen pen(QColor(0x1f, 0x5f, 0xa8));
    pen.setWidthF(1.0);
    area->setPen(pen);
    area->setBrush(QColor(0x1f, 0x5f, 0xa8, 160));
    chart_->addSeries(area);
    area->attachAxis(axisX_);
    area->attachAxis(axisY_);
    if (!areas_.empty()) {
      for (QLegendMarker* marker : chart_->legend()->markers(area))
        marker->setVisible(false);
    }
    areas_.push_back(area);
  }
  return areas_[static_cast<size_t>(run)];
}

QLineSeries* PreviewWindow::UpperSeries(int run) const {
  return run < static_cast<int>(areas_.size()) ? areas_[static_cast<size_t>(run)]->upperSeries()
                                               : nullptr;
}

QLineSeries* PreviewWindow::LowerSeries(int run) const {
  return run < static_cast<int>(areas_.size()) ? areas_[static_cast<size_t>(run)]->lowerSeries()
                                               : nullptr;
}

void PreviewWindow::ShowLoading(const QString& title, const QString& note) {
  series_.reset();
  for (QAreaSeries* area : areas_) {
    area->upperSeries()->clear();
    area->lowerSeries()->clear();
  }
  runsShown_ = 0;
  marks_->clear();
  suspect_->clear();
  bad_->clear();
  ShowInLegend(chart_, suspect_, false);
  ShowInLegend(chart_, bad_, false);
  HideCrosshair();
  chart_->setTitle(title);
  note_->setText(note);
}

void PreviewWindow::SetSeries(std::shared_ptr<const PreviewSeries> series) {
  series_ = std::move(series);
  chart_->setTitle(QString::fromStdString(series_->title));
  axisX_->setTitleText(QString::fromStdString(series_->xTitle));
  axisY_->setTitleText(QString::fromStdString(series_->yTitle));
  QString markName = QString::fromStdString(series_->markName);
  if (series_->markCount > static_cast<int64_t>(series_->marks.size()) && !series_->marks.empty())
    markName += QStringLiteral(" (%1 of %2 marked)")
                    .arg(locale_.toString(static_cast<qlonglong>(series_->marks.size())),
                         locale_.toString(static_cast<qlonglong>(series_->markCount)));
  marks_->setName(markName);
  for (QLegendMarker* marker : chart_->legend()->markers(marks_))
    marker->setVisible(!series_->marks.empty());
  QList<QPointF> marks;
  for (const PreviewMark& mark : series_->marks)
    marks.append(QPointF(mark.x, mark.y));
  marks_->replace(marks);
  NameFlagged();
  QString note;
  if (!series_->error.empty()) {
    note = QString::fromStdString(series_->error);
  } else {
    note = QStringLiteral("%1 readings").arg(locale_.toString(series_->envelope.Points()));
    if (series_->markCount > 0) {
      QString name = QString::fromStdString(series_->markName);
      if (series_->markCount == 1 && name.endsWith(QLatin1Char('s')))
        name.chop(1);
      note += QStringLiteral(", %1 %2").arg(locale_.toString(series_->markCount), name);
    }
    if (series_->fillers > 0)
      note += QStringLiteral(", %1 fillers left out").arg(locale_.toString(series_->fillers));
    if (series_->unplaced > 0)
      note += QStringLiteral(", %1 readings before any date stamp not drawn")
                  .arg(locale_.toString(series_->unplaced));
  }
  note_->setText(note);
  HideCrosshair();
  ResetZoom();
}

void PreviewWindow::ResetZoom() {
  if (series_ == nullptr)
    return;
  chart_->zoomReset();
  const MinMaxEnvelope& envelope = series_->envelope;
  double lo = envelope.FirstX();
  double hi = envelope.LastX();
  if (!(hi > lo))
    hi = lo + 1.0;
  // Room before the first reading for the label of its time, which the
  // chart would hide were it to stick out past the axis's start.
  const double plotWidth = std::max(chart_->plotArea().width(), kNarrowestPlot);
  const double room = kTimeLabelPixels / 2.0 + kLeadMarginPixels;
  lo -= (hi - lo) * std::min(kMostLeadShare, room / (plotWidth - room));
  double yLo = envelope.MinY();
  double yHi = envelope.MaxY();
  const double pad = yHi > yLo ? (yHi - yLo) * 0.05 : 1.0;
  resetting_ = true;
  axisX_->setRange(lo, hi);
  axisY_->setRange(yLo - pad, yHi + pad);
  resetting_ = false;
  wholeView_ = true;
  PlaceTicks();
  Redecimate();
}

void PreviewWindow::ZoomTime(double factor) {
  if (series_ == nullptr || !(factor > 0.0))
    return;
  const double middle = (axisX_->min() + axisX_->max()) / 2.0;
  const double half = (axisX_->max() - axisX_->min()) / 2.0 / factor;
  // No narrower than a few readings.
  const double least = 2.0 * std::max(series_->pointSpacing, 1e-3);
  const double kept = std::max(half, least);
  axisX_->setRange(middle - kept, middle + kept);
}

void PreviewWindow::Pan(double timeShare, double valueShare) {
  if (series_ == nullptr)
    return;
  const double dx = (axisX_->max() - axisX_->min()) * timeShare;
  const double dy = (axisY_->max() - axisY_->min()) * valueShare;
  if (dx != 0.0)
    axisX_->setRange(axisX_->min() + dx, axisX_->max() + dx);
  if (dy != 0.0)
    axisY_->setRange(axisY_->min() + dy, axisY_->max() + dy);
}

bool PreviewWindow::HandleKey(int key) {
  switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomTime(kKeyZoom);
      return true;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      ZoomTime(1.0 / kKeyZoom);
      return true;
    case Qt::Key_Left:
      Pan(-kKeyPan, 0.0);
      return true;
    case Qt::Key_Right:
      Pan(kKeyPan, 0.0);
      return true;
    case Qt::Key_Up:
      Pan(0.0, kKeyPan);
      return true;
    case Qt::Key_Down:
      Pan(0.0, -kKeyPan);
      return true;
    case Qt::Key_Home:
      ResetZoom();
      return true;
    default:
      return false;
  }
}

void PreviewWindow::PlaceTicks() {
  if (series_ == nullptr)
    return;
  const QRectF plot = chart_->plotArea();
  const int width = plot.width() > 0 ? static_cast<int>(plot.width()) : view_->width();
  const int height = plot.height() > 0 ? static_cast<int>(plot.height()) : view_->height();
  resetting_ = true;
  PlaceTimeTicks(axisX_, width);
  // The readout gives one decimal more than the ticks.
  valueDecimals_ = PlaceValueTicks(axisY_, height, locale_) + 1;
  resetting_ = false;
}

void PreviewWindow::Redecimate() {
  if (series_ == nullptr)
    return;
  const int columns = std::max(16, static_cast<int>(chart_->plotArea().width()));
  // A small view before the first layout still gets a fair number of columns.
  const int wanted = std::max(columns, view_->width() > 0 ? view_->width() : 512);
  const double from = axisX_->min();
  const double to = axisX_->max();
  const std::vector<ColumnRange> ranges = DecimateToColumns(series_->envelope, from, to, wanted);
  const double column = (to - from) / wanted;
  const double gapWidth = std::max(1.5 * column, 2.0 * series_->pointSpacing);
  // Columns further apart than this start a new run; past kMostRuns the
  // rest is drawn as one.
  constexpr int kMostRuns = 64;
  std::vector<std::pair<QList<QPointF>, QList<QPointF>>> runs;
  bool gathered = false;  // a column holds more than one reading
  for (size_t i = 0; i < ranges.size(); ++i) {
    const bool gap = i > 0 && ranges[i].x - ranges[i - 1].x > gapWidth;
    if (runs.empty() || (gap && static_cast<int>(runs.size()) < kMostRuns))
      runs.emplace_back();
    runs.back().first.append(QPointF(ranges[i].x, ranges[i].max));
    runs.back().second.append(QPointF(ranges[i].x, ranges[i].min));
    gathered = gathered || ranges[i].count > 1;
  }
  for (auto& [upper, lower] : runs) {
    // A run of one column is drawn one column wide, so it shows.
    if (upper.size() == 1) {
      const QPointF top = upper.first();
      const QPointF bottom = lower.first();
      upper = {top - QPointF(column / 2, 0), top + QPointF(column / 2, 0)};
      lower = {bottom - QPointF(column / 2, 0), bottom + QPointF(column / 2, 0)};
    }
  }
  runsShown_ = static_cast<int>(runs.size());
  for (int i = 0; i < static_cast<int>(std::max(runs.size(), areas_.size())); ++i) {
    QAreaSeries* area = Area(i);
    if (i < runsShown_) {
      area->upperSeries()->replace(runs[static_cast<size_t>(i)].first);
      area->lowerSeries()->replace(runs[static_cast<size_t>(i)].second);
    } else {
      area->upperSeries()->clear();
      area->lowerSeries()->clear();
    }
  }
  DrawFlagged(from, to, wanted);
  // The legend says what is drawn: each reading, or the lowest and highest
  // of the readings that share a pixel column.
  Envelope()->setName(gathered ? QStringLiteral("readings (lowest to highest per pixel column)")
                               : QStringLiteral("readings"));
}

// The legend counts every flagged reading, drawn or not.
void PreviewWindow::NameFlagged() {
  const struct {
    QScatterSeries* series;
    const MinMaxEnvelope& envelope;
    const char* name;
  } flagged[] = {{suspect_, series_->suspect, "suspect (flag 3)"},
                 {bad_, series_->bad, "bad (flag 4)"}};
  for (const auto& f : flagged) {
    f.series->setName(QStringLiteral("%1: %2").arg(
        QString::fromLatin1(f.name),
        locale_.toString(static_cast<qlonglong>(f.envelope.Points()))));
    ShowInLegend(chart_, f.series, !f.envelope.Empty());
  }
}

void PreviewWindow::DrawFlagged(double from, double to, int columns) {
  const std::pair<QScatterSeries*, const MinMaxEnvelope*> flagged[] = {
      {suspect_, &series_->suspect}, {bad_, &series_->bad}};
  for (const auto& [series, envelope] : flagged) {
    QList<QPointF> points;
    for (const ColumnRange& column : DecimateToColumns(*envelope, from, to, columns)) {
      points.append(QPointF(column.x, column.min));
      if (column.max != column.min)
        points.append(QPointF(column.x, column.max));
    }
    series->replace(points);
  }
}

void PreviewWindow::HideCrosshair() {
  crossTime_->hide();
  crossValue_->hide();
  readout_->clear();
}

void PreviewWindow::PointAt(const QPointF& scenePoint) {
  const QRectF plot = chart_->plotArea();
  const QPointF at = chart_->mapFromScene(scenePoint);
  if (series_ == nullptr || !plot.contains(at)) {
    HideCrosshair();
    return;
  }
  crossTime_->setLine(at.x(), plot.top(), at.x(), plot.bottom());
  crossValue_->setLine(plot.left(), at.y(), plot.right(), at.y());
  crossTime_->show();
  crossValue_->show();
  const QPointF value = chart_->mapToValue(at, Envelope());
  readout_->setText(CrosshairReadout(value.x(), value.y(), valueDecimals_, locale_));
}

bool PreviewWindow::SaveAsPng(const QString& path) {
  crossTime_->hide();
  crossValue_->hide();
  return view_->grab().save(path, "PNG");
}

QString PreviewWindow::SuggestedSavePath() const {
  return PreviewSavePath(series_ != nullptr ? QString::fromStdString(series_->dumpPath)
                                            : QString());
}

void PreviewWindow::AskAndSave() {
  QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save Preview"), SuggestedSavePath(),
                                   QStringLiteral("PNG images (*.png)"));
  if (path.isEmpty())
    return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
    path += QStringLiteral(".png");
  if (!SaveAsPng(path)) {
    note_->setText(QStringLiteral("The image could not be written to %1. Choose a folder you "
                                  "may write to.")
                       .arg(QDir::toNativeSeparators(path)));
  }
}
