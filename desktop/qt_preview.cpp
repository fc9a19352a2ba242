#include "desktop/qt_preview.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QScatterSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>

namespace {

// The chart view with wheel zoom about the pointer and panning with the
// right button; the rubber band (left button) zooms into a rectangle.
class ZoomingChartView : public QChartView {
 public:
  explicit ZoomingChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing, false);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const double factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
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
    // right click zooms out; the reset button does better.
    if (event->button() == Qt::RightButton) {
      panning_ = false;
      event->accept();
      return;
    }
    QChartView::mouseReleaseEvent(event);
  }

 private:
  bool panning_ = false;
  QPointF last_;
};

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("previewWindow"));
  setWindowTitle(QStringLiteral("Preview — ZORQConvert"));
  chart_ = new QChart;
  chart_->legend()->setAlignment(Qt::AlignBottom);
  axisX_ = new QValueAxis(chart_);
  axisY_ = new QValueAxis(chart_);
  chart_->addAxis(axisX_, Qt::AlignBottom);
  chart_->addAxis(axisY_, Qt::AlignLeft);
  Area(0);
  marks_ = new QScatterSeries(chart_);
  marks_->setMarkerSize(7.0);
  marks_->setColor(QColor(0xd0, 0x60, 0x10));
  chart_->addSeries(marks_);
  marks_->attachAxis(axisX_);
  marks_->attachAxis(axisY_);
  view_ = new ZoomingChartView(chart_, this);
  view_->setMinimumSize(520, 320);

  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("previewNote"));
  note_->setWordWrap(true);
  auto* reset = new QPushButton(QStringLiteral("&Reset zoom"), this);
  reset->setObjectName(QStringLiteral("previewReset"));
  reset->setToolTip(QStringLiteral("Show the whole conversion again"));
  auto* save = new QPushButton(QStringLiteral("&Save as PNG…"), this);
  save->setObjectName(QStringLiteral("previewSave"));
  save->setToolTip(QStringLiteral("Save the chart as it is shown as a PNG image"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(note_, 1);
  buttons->addWidget(reset);
  buttons->addWidget(save);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  view_->setToolTip(
      QStringLiteral("Drag with the left button to zoom into a rectangle, turn the wheel to zoom, "
                     "drag with the right button to pan"));

  redraw_ = new QTimer(this);
  redraw_->setSingleShot(true);
  redraw_->setInterval(0);
  connect(redraw_, &QTimer::timeout, this, [this] { Redecimate(); });
  connect(axisX_, &QValueAxis::rangeChanged, this, [this] {
    if (!resetting_)
      redraw_->start();
  });
  connect(reset, &QPushButton::clicked, this, [this] { ResetZoom(); });
  connect(save, &QPushButton::clicked, this, [this] { AskAndSave(); });
  resize(820, 480);
}

PreviewWindow::~PreviewWindow() = default;

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
    if (areas_.empty()) {
      area->setName(QStringLiteral("readings (lowest and highest per column)"));
    } else {
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

void PreviewWindow::ShowLoading(const QString& title) {
  series_.reset();
  for (QAreaSeries* area : areas_) {
    area->upperSeries()->clear();
    area->lowerSeries()->clear();
  }
  runsShown_ = 0;
  marks_->clear();
  chart_->setTitle(title);
  note_->setText(QStringLiteral("Reading the output…"));
}

void PreviewWindow::SetSeries(std::shared_ptr<const PreviewSeries> series) {
  series_ = std::move(series);
  chart_->setTitle(QString::fromStdString(series_->title));
  axisX_->setTitleText(QString::fromStdString(series_->xTitle));
  axisY_->setTitleText(QString::fromStdString(series_->yTitle));
  marks_->setName(QString::fromStdString(series_->markName));
  for (QLegendMarker* marker : chart_->legend()->markers(marks_))
    marker->setVisible(!series_->markName.empty());
  marks_->clear();
  QList<QPointF> marks;
  for (const PreviewMark& mark : series_->marks)
    marks.append(QPointF(mark.x, mark.y));
  marks_->replace(marks);
  QString note;
  if (!series_->error.empty()) {
    note = QString::fromStdString(series_->error);
  } else {
    note = QStringLiteral("%1 readings").arg(series_->envelope.Points());
    if (series_->markCount > 0) {
      note += QStringLiteral(", %1 %2")
                  .arg(series_->markCount)
                  .arg(QString::fromStdString(series_->markName));
      if (series_->markCount > static_cast<int64_t>(series_->marks.size()))
        note += QStringLiteral(" (the first %1 marked)").arg(series_->marks.size());
    }
  }
  note_->setText(note);
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
  double yLo = envelope.MinY();
  double yHi = envelope.MaxY();
  const double pad = yHi > yLo ? (yHi - yLo) * 0.05 : 1.0;
  resetting_ = true;
  axisX_->setRange(lo, hi);
  axisY_->setRange(yLo - pad, yHi + pad);
  resetting_ = false;
  Redecimate();
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
  for (size_t i = 0; i < ranges.size(); ++i) {
    const bool gap = i > 0 && ranges[i].x - ranges[i - 1].x > gapWidth;
    if (runs.empty() || (gap && static_cast<int>(runs.size()) < kMostRuns))
      runs.emplace_back();
    runs.back().first.append(QPointF(ranges[i].x, ranges[i].max));
    runs.back().second.append(QPointF(ranges[i].x, ranges[i].min));
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
}

bool PreviewWindow::SaveAsPng(const QString& path) {
  return view_->grab().save(path, "PNG");
}

void PreviewWindow::AskAndSave() {
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Preview"),
                                              QStringLiteral("preview.png"),
                                              QStringLiteral("PNG images (*.png)"));
  if (path.isEmpty())
    return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
    path += QStringLiteral(".png");
  if (!SaveAsPng(path))
    note_->setText(QStringLiteral("The image could not be written to %1").arg(path));
}
