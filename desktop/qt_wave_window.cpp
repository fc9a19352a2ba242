#include "desktop/qt_wave_window.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <utility>

#include "convert/dump_types.h"
#include "desktop/additions.h"
#include "desktop/chart_ticks.h"
#include "desktop/qt_chart_axes.h"
#include "desktop/window_fit.h"

namespace {

const QSize kPreferredSize(1000, 580);
constexpr int kUnitBoxLetters = 12;
// The share of the window's width (in percent) the charts open with.
constexpr int kChartShareOfWidth = 58;
constexpr int kStatisticDecimals = 3;

// What an operator looks for first stands first, where a narrow table
// shows it without scrolling: the time, Hm0, Tp and the flag.
enum Column {
  kStart,
  kHm0,
  kTp,
  kFlag,
  kHs,
  kTz,
  kMean,
  kWaves,
  kSamples,
  kEnd,
  kReason,
  kColumns
};
// A title with a %1 takes the unit of the readings.
const char* const kColumnTitles[kColumns] = {"Start (UTC)", "Hm0%1",     "Tp (s)", "Flag",
                                             "Hs%1",        "Tz (s)",    "Mean%1", "Waves",
                                             "Samples",     "End (UTC)", "Reason"};
// The columns read as words rather than numbers, left-aligned.
bool IsTextColumn(int column) {
  return column == kStart || column == kEnd || column == kFlag || column == kReason;
}

// Room the charts' labels need, beyond what their text measures: the
// chart's margins and the gaps between a legend's markers.
constexpr int kChartChrome = 48;
constexpr int kLegendEntryGap = 24;
constexpr int kAxisGap = 12;
// The least number of labels each axis along the bottom shows.
constexpr int kLeastTimeLabels = 2;
constexpr int kLeastFrequencyLabels = 4;
constexpr int kMostFrequencyLabels = 11;

// The unit of heights: metres for logger dumps and for pressure turned into
// the surface's elevation; a gauge dump's own values have none known.
QString HeightUnit(const ExportSource& source, const WaveSettings& settings) {
  if (source.dumpPath.empty())
    return QStringLiteral("m");
  return settings.pressure || !IsGaugeDump(source.fromType) ? QStringLiteral("m") : QString();
}

// " (m)", or " (as recorded)" for values of no known unit; with `per`
// ("/Hz", for a density) the unit squared per it.
QString UnitSuffix(const QString& unit, const char* per = "") {
  const QString name = unit.isEmpty() ? QStringLiteral("units") : unit;
  if (*per == '\0')
    return unit.isEmpty() ? QStringLiteral(" (as recorded)") : QStringLiteral(" (%1)").arg(unit);
  return QStringLiteral(" (%1²%2)").arg(name, QString::fromUtf8(per));
}

QChartView* ViewOf(QChart* chart, QWidget* parent) {
  auto* view = new QChartView(chart, parent);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(240, 160);
  return view;
}

QDoubleSpinBox* NumberBox(QWidget* parent, double lo, double hi, double value, int decimals,
                          const QString& suffix) {
  auto* box = new QDoubleSpinBox(parent);
  box->setRange(lo, hi);
  box->setDecimals(decimals);
  box->setValue(value);
  box->setSuffix(suffix);
  return box;
}

// "2019-06-30 12:20:00" for UTC seconds; empty when unknown.
QString UtcText(double seconds) {
  if (!std::isfinite(seconds))
    return {};
  const std::string text = TimeReadout(seconds);
  return QString::fromStdString(text.substr(0, text.rfind('.')));
}

void SetRangeOf(QValueAxis* axis, double lo, double hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    axis->setRange(0.0, 1.0);
    return;
  }
  if (!(hi > lo)) {
    lo -= 0.5;
    hi += 0.5;
  }
  axis->setRange(lo, hi);
  axis->applyNiceNumbers();
}

}  // namespace

WaveWindow::WaveWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("waveWindow"));
  setWindowTitle(QStringLiteral("Wave statistics — ZORQConvert"));
  setModal(false);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter_ = splitter;
  auto* side = new QWidget(splitter);
  BuildForm(side);

  charts_ = new QTabWidget(splitter);
  timeChart_ = new QChart;
  timeChart_->legend()->setAlignment(Qt::AlignBottom);
  timeAxis_ = NewTickAxis(timeChart_);
  timeAxis_->setTitleText(QStringLiteral("segment start (UTC)"));
  hm0Axis_ = new QValueAxis(timeChart_);
  hm0Axis_->setTitleText(QStringLiteral("Hm0 (m)"));
  tpAxis_ = new QValueAxis(timeChart_);
  tpAxis_->setTitleText(QStringLiteral("Tp (s)"));
  timeChart_->addAxis(timeAxis_, Qt::AlignBottom);
  timeChart_->addAxis(hm0Axis_, Qt::AlignLeft);
  timeChart_->addAxis(tpAxis_, Qt::AlignRight);
  hm0_ = new QLineSeries(timeChart_);
  hm0_->setName(QStringLiteral("Hm0"));
  tp_ = new QLineSeries(timeChart_);
  tp_->setName(QStringLiteral("Tp"));
  timeChart_->addSeries(hm0_);
  timeChart_->addSeries(tp_);
  hm0_->attachAxis(timeAxis_);
  hm0_->attachAxis(hm0Axis_);
  tp_->attachAxis(timeAxis_);
  tp_->attachAxis(tpAxis_);
  QChartView* timeView = ViewOf(timeChart_, charts_);
  // Drag across the chart to zoom into a stretch of time; right-click zooms out.
  timeView->setRubberBand(QChartView::HorizontalRubberBand);
  timeView->setToolTip(
      QStringLiteral("Drag across the chart to zoom in on a stretch of time; right-click to "
                     "zoom out"));
  charts_->addTab(timeView, QStringLiteral("Hm0 and Tp"));
  connect(timeChart_, &QChart::plotAreaChanged, this, [this] { DrawTimeLines(); });
  connect(timeAxis_, &QValueAxis::rangeChanged, this, [this] { DrawTimeLines(); });

  spectrumChart_ = new QChart;
  spectrumChart_->legend()->setAlignment(Qt::AlignBottom);
  frequencyAxis_ = new QValueAxis(spectrumChart_);
  frequencyAxis_->setTitleText(QStringLiteral("frequency (Hz)"));
  densityAxis_ = new QValueAxis(spectrumChart_);
  densityAxis_->setTitleText(QStringLiteral("S (units²/Hz)"));
  spectrumChart_->addAxis(frequencyAxis_, Qt::AlignBottom);
  spectrumChart_->addAxis(densityAxis_, Qt::AlignLeft);
  band_ = new QAreaSeries(new QLineSeries(spectrumChart_), new QLineSeries(spectrumChart_));
  band_->setName(QStringLiteral("band"));
  band_->setBrush(QColor(0x30, 0xa0, 0x50, 50));
  band_->setPen(QPen(QColor(0x30, 0xa0, 0x50), 1.0, Qt::DashLine));
  spectrum_ = new QLineSeries(spectrumChart_);
  spectrum_->setName(QStringLiteral("spectral density"));
  peak_ = new QScatterSeries(spectrumChart_);
  peak_->setName(QStringLiteral("peak"));
  peak_->setMarkerSize(10.0);
  peak_->setColor(QColor(0xd0, 0x30, 0x20));
  for (QAbstractSeries* series : std::initializer_list<QAbstractSeries*>{band_, spectrum_, peak_}) {
    spectrumChart_->addSeries(series);
    series->attachAxis(frequencyAxis_);
    series->attachAxis(densityAxis_);
  }
  frequencyAxis_->setLabelFormat(QStringLiteral("%.2f"));
  densityAxis_->setLabelFormat(QStringLiteral("%.3g"));
  hm0Axis_->setLabelFormat(QStringLiteral("%.2f"));
  tpAxis_->setLabelFormat(QStringLiteral("%.1f"));
  charts_->addTab(ViewOf(spectrumChart_, charts_), QStringLiteral("Spectrum"));
  connect(spectrumChart_, &QChart::plotAreaChanged, this, [this] { FitFrequencyTicks(); });

  splitter->addWidget(side);
  splitter->addWidget(charts_);
  // The charts keep the room their labels need; the table gives way first.
  charts_->setMinimumWidth(LeastChartWidth());
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 2);
  splitter->setChildrenCollapsible(false);

  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("waveNote"));
  note_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(note_);
  ShowSettings(ChosenWaveSettings());
  SetResults({});
  resize(kPreferredSize);
}

void WaveWindow::BuildForm(QWidget* side) {
  unit_ = new QComboBox(side);
  unit_->setObjectName(QStringLiteral("wavePressureUnit"));
  unit_->addItem(QStringLiteral("none: readings are heights"));
  for (const PressureUnit unit : {PressureUnit::Pa, PressureUnit::kPa, PressureUnit::dbar,
                                  PressureUnit::bar, PressureUnit::mH2O})
    unit_->addItem(QString::fromLatin1(PressureUnitName(unit)), static_cast<int>(unit));
  // Narrower than its longest choice on a small screen.
  unit_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  unit_->setMinimumContentsLength(kUnitBoxLetters);
  unit_->setToolTip(QStringLiteral(
      "Gauge dumps of pressure: the unit of the readings, which are then turned into the "
      "surface's elevation"));
  atmospheric_ = NumberBox(side, -1e9, 1e9, 0.0, 3, QString());
  atmospheric_->setToolTip(QStringLiteral("Taken off every reading, in the pressure unit"));
  density_ = NumberBox(side, 1.0, 2000.0, 1025.0, 1, QStringLiteral(" kg/m³"));
  sensorHeight_ = NumberBox(side, 0.0, 1e4, 0.0, 3, QStringLiteral(" m"));
  sensorHeight_->setObjectName(QStringLiteral("waveSensorHeight"));
  sensorHeight_->setToolTip(QStringLiteral("The sensor's height above the bed"));
  auto* form = new QFormLayout;
  form->setRowWrapPolicy(QFormLayout::WrapLongRows);
  form->addRow(QStringLiteral("&Pressure:"), unit_);
  form->addRow(QStringLiteral("&Atmospheric:"), atmospheric_);
  form->addRow(QStringLiteral("&Density:"), density_);
  form->addRow(QStringLiteral("Sensor &height:"), sensorHeight_);
  apply_ = new QPushButton(QStringLiteral("&Apply to next conversion"), side);
  apply_->setObjectName(QStringLiteral("waveApply"));
  apply_->setToolTip(
      QStringLiteral("The statistics are worked out while a dump converts: these settings are "
                     "used from the next conversion"));
  save_ = new QPushButton(QStringLiteral("&Export table as CSV…"), side);
  save_->setObjectName(QStringLiteral("waveSave"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(apply_);
  buttons->addWidget(save_);
  buttons->addStretch(1);

  tableView_ = new QTableWidget(0, kColumns, side);
  tableView_->setObjectName(QStringLiteral("waveTable"));
  tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
  tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tableView_->verticalHeader()->setVisible(false);
  tableView_->setMinimumSize(200, 100);

  auto* layout = new QVBoxLayout(side);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(form);
  layout->addLayout(buttons);
  layout->addWidget(tableView_, 1);

  connect(unit_, &QComboBox::currentIndexChanged, this, [this] { ShowPressureFields(); });
  connect(apply_, &QPushButton::clicked, this, [this] { ApplySettings(); });
  connect(save_, &QPushButton::clicked, this, [this] { AskAndSave(); });
  connect(tableView_, &QTableWidget::currentCellChanged, this,
          [this](int row) { ShowSpectrum(row); });
  ShowPressureFields();
}

void WaveWindow::ShowPressureFields() {
  const bool pressure = unit_->currentIndex() > 0;
  atmospheric_->setEnabled(pressure);
  density_->setEnabled(pressure);
  sensorHeight_->setEnabled(pressure);
}

void WaveWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FitToScreen(this, size());
  // The table's own wish (all its columns) would take the charts' room.
  // Once the splitter has its width.
  if (!std::exchange(shownOnce_, true))
    QTimer::singleShot(0, this, [this] { ShareWidth(); });
}

// The chart pane gets its share, and never less than its labels need; the
// table keeps its first columns (start, Hm0, Tp, flag) in view where the
// charts can spare the room, and otherwise gives way and scrolls.
void WaveWindow::ShareWidth() {
  const int width = splitter_->width() - splitter_->handleWidth();
  const int share = std::min(width * kChartShareOfWidth / 100, width - FirstColumnsWidth());
  const int charts = std::max(LeastChartWidth(), share);
  splitter_->setSizes({std::max(1, width - charts), charts});
}

int WaveWindow::FirstColumnsWidth() const {
  int width = 2 * tableView_->frameWidth() + tableView_->verticalScrollBar()->sizeHint().width();
  for (int column = kStart; column <= kFlag; ++column)
    width += tableView_->columnWidth(column);
  return width;
}

namespace {

// The width of a chart's legend on one line: each entry's marker, name and gap.
int LegendWidth(const QChart* chart, const QStringList& names) {
  const QFontMetrics metrics(chart->legend()->font());
  int width = 0;
  for (const QString& name : names)
    width += metrics.height() + metrics.horizontalAdvance(name) + kLegendEntryGap;
  return width;
}

// A vertical value axis: its title turned on its side, and its widest label.
int ValueAxisWidth(const QValueAxis* axis, const QString& widestLabel) {
  return QFontMetrics(axis->titleFont()).height() +
         QFontMetrics(axis->labelsFont()).horizontalAdvance(widestLabel) + kAxisGap;
}

}  // namespace

// The width at which every title, legend entry and tick label of both
// charts shows whole, in the fonts they are drawn with (larger fonts and
// scale factors ask for more).
int WaveWindow::LeastChartWidth() const {
  const QString wideNumber = QStringLiteral("00.000");
  const QFontMetrics timeLabels(timeAxis_->labelsFont());
  const int timeAlong =
      std::max(kLeastTimeLabels * kTimeLabelPixels,
               QFontMetrics(timeAxis_->titleFont()).horizontalAdvance(timeAxis_->titleText()));
  const int timeChart =
      ValueAxisWidth(hm0Axis_, wideNumber) + ValueAxisWidth(tpAxis_, wideNumber) +
      // The first label names the date, the next the time alone.
      std::max(timeAlong, timeLabels.horizontalAdvance(QStringLiteral("2019-06-30 12:00  ")) +
                              timeLabels.horizontalAdvance(QStringLiteral("12:00  ")));
  const QFontMetrics frequencyLabels(frequencyAxis_->labelsFont());
  const int frequencyAlong = std::max(
      kLeastFrequencyLabels * 2 * frequencyLabels.horizontalAdvance(QStringLiteral("0.00")),
      QFontMetrics(frequencyAxis_->titleFont()).horizontalAdvance(frequencyAxis_->titleText()));
  const int spectrumChart = ValueAxisWidth(densityAxis_, QStringLiteral("0.0000")) + frequencyAlong;
  const int legends =
      std::max(LegendWidth(timeChart_, {hm0_->name(), tp_->name()}),
               LegendWidth(spectrumChart_, {band_->name(), spectrum_->name(), peak_->name()}));
  const int title =
      QFontMetrics(spectrumChart_->titleFont())
          .horizontalAdvance(QStringLiteral("Segment 155,405, from 2019-06-30 12:20:00"));
  return std::max({timeChart, spectrumChart, legends, title}) + kChartChrome;
}

// As many frequency labels as have room side by side.
void WaveWindow::FitFrequencyTicks() {
  const QFontMetrics labels(frequencyAxis_->labelsFont());
  const int room = 2 * labels.horizontalAdvance(QStringLiteral("0.00"));
  const int fit = static_cast<int>(spectrumChart_->plotArea().width()) / std::max(1, room);
  frequencyAxis_->setTickCount(std::clamp(fit, kLeastFrequencyLabels - 1, kMostFrequencyLabels));
}

namespace {

bool SamePressure(const WaveSettings& a, const WaveSettings& b) {
  if (!a.pressure || !b.pressure)
    return a.pressure.has_value() == b.pressure.has_value();
  const PressureSettings& p = *a.pressure;
  const PressureSettings& q = *b.pressure;
  return p.unit == q.unit && p.atmospheric == q.atmospheric && p.density == q.density &&
         p.sensorHeight == q.sensorHeight && p.kpMin == q.kpMin;
}

}  // namespace

void WaveWindow::ShowSettings(const WaveSettings& settings) {
  unit_->setCurrentIndex(0);
  if (!settings.pressure)
    return;
  const int index = unit_->findData(static_cast<int>(settings.pressure->unit));
  unit_->setCurrentIndex(std::max(index, 0));
  atmospheric_->setValue(settings.pressure->atmospheric);
  density_->setValue(settings.pressure->density);
  sensorHeight_->setValue(settings.pressure->sensorHeight);
}

void WaveWindow::SetResults(const WaveResults& results) {
  source_ = results.source;
  table_ = results.table ? *results.table : WaveTable{};
  // The form shows what the table was worked out with, unless that differs
  // from what was chosen (the note says why) or there is no table.
  const bool workedOut = table_.ok && table_.note.empty() && !source_.dumpPath.empty();
  ShowSettings(workedOut ? table_.settings : ChosenWaveSettings());
  const bool gauge = source_.dumpPath.empty() || IsGaugeDump(source_.fromType);
  unit_->setEnabled(gauge);
  if (!gauge)
    unit_->setCurrentIndex(0);
  ShowPressureFields();
  FillTable();
  TellAboutTable();
  if (!table_.rows.empty())
    tableView_->selectRow(0);
}

// What the table holds, and with which settings it was worked out.
void WaveWindow::TellAboutTable() {
  if (source_.dumpPath.empty() || !table_.ok) {
    note_->setText(source_.dumpPath.empty()
                       ? QStringLiteral("No conversion yet: convert a dump and its statistics "
                                        "are worked out as it converts.")
                       : QString::fromStdString(table_.error.empty()
                                                    ? "The last conversion gave no statistics."
                                                    : table_.error));
    return;
  }
  int64_t suspect = 0;
  for (const WaveRow& row : table_.rows)
    suspect += row.suspect ? 1 : 0;
  QString text =
      QStringLiteral("%1 segments of %2, %3 flagged suspect. Click a row for its spectrum.")
          .arg(locale_.toString(static_cast<qlonglong>(table_.rows.size())),
               QDir::toNativeSeparators(QString::fromStdString(source_.dumpPath)),
               locale_.toString(static_cast<qlonglong>(suspect)));
  if (!table_.note.empty())
    text += QStringLiteral(" ") + QString::fromStdString(table_.note);
  note_->setText(text);
}

bool WaveWindow::Settings(WaveSettings* settings, std::string* error) const {
  *settings = WaveSettings{};
  if (unit_->currentIndex() > 0) {
    PressureSettings pressure;
    pressure.unit = static_cast<PressureUnit>(unit_->currentData().toInt());
    pressure.atmospheric = atmospheric_->value();
    pressure.density = density_->value();
    pressure.sensorHeight = sensorHeight_->value();
    settings->pressure = pressure;
  }
  // Without a conversion yet, any dump may come next: gauge dumps take pressure.
  const int fromType = source_.dumpPath.empty() ? 3 : source_.fromType;
  return CheckWaveSettings(*settings, fromType, error);
}

void WaveWindow::ApplySettings() {
  WaveSettings settings;
  std::string error;
  if (!Settings(&settings, &error)) {
    note_->setText(QString::fromStdString(error));
    return;
  }
  ChooseWaveSettings(settings);
  if (!source_.dumpPath.empty() && table_.ok && SamePressure(settings, table_.settings)) {
    note_->setText(QStringLiteral("The table was worked out with these settings."));
    return;
  }
  note_->setText(QStringLiteral(
      "These settings apply from the next conversion: convert the dump again to see its "
      "statistics worked out with them."));
}

void WaveWindow::NameUnits() {
  const QString unit = UnitSuffix(HeightUnit(source_, table_.settings));
  QStringList titles;
  for (const char* title : kColumnTitles) {
    const QString text = QString::fromUtf8(title);
    // The unit under the name keeps the numbers' columns narrow.
    QString named = text.contains(QStringLiteral("%1")) ? text.arg(unit) : text;
    titles << named.replace(QStringLiteral(" ("), QStringLiteral("\n("));
  }
  tableView_->setHorizontalHeaderLabels(titles);
  hm0Axis_->setTitleText(QStringLiteral("Hm0") + unit);
  densityAxis_->setTitleText(QStringLiteral("S") +
                             UnitSuffix(HeightUnit(source_, table_.settings), "/Hz"));
  charts_->setMinimumWidth(LeastChartWidth());
}

void WaveWindow::FillTable() {
  NameUnits();
  tableView_->clearContents();
  tableView_->setRowCount(static_cast<int>(table_.rows.size()));
  auto number = [this](double value, int decimals) {
    return std::isfinite(value) ? locale_.toString(value, 'f', decimals) : QString();
  };
  for (int r = 0; r < static_cast<int>(table_.rows.size()); ++r) {
    const WaveRow& row = table_.rows[static_cast<size_t>(r)];
    QString cells[kColumns];
    cells[kStart] = UtcText(row.start);
    cells[kEnd] = UtcText(row.end);
    cells[kSamples] = locale_.toString(static_cast<qlonglong>(row.samples));
    cells[kMean] = number(row.mean, kStatisticDecimals);
    cells[kHm0] = number(row.hm0, kStatisticDecimals);
    cells[kTp] = number(row.tp, 2);
    cells[kHs] = number(row.hs, kStatisticDecimals);
    cells[kTz] = number(row.tz, 2);
    cells[kWaves] = locale_.toString(static_cast<qlonglong>(row.waves));
    cells[kFlag] = row.suspect ? QStringLiteral("suspect") : QStringLiteral("good");
    cells[kReason] = QString::fromStdString(row.reason);
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (!IsTextColumn(c))
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (c == kFlag && row.suspect)
        item->setToolTip(cells[kReason]);
      tableView_->setItem(r, c, item);
    }
  }
  tableView_->resizeColumnsToContents();
  if (shownOnce_)
    ShareWidth();
  save_->setEnabled(table_.ok && !table_.rows.empty());
  FillTimeChart();
  ShowSpectrum(-1);
}

void WaveWindow::FillTimeChart() {
  hm0Line_.clear();
  tpLine_.clear();
  double first = NAN;
  double last = NAN;
  double hm0Top = 0.0;
  double tpTop = 0.0;
  for (const WaveRow& row : table_.rows) {
    if (!std::isfinite(row.start))
      continue;
    first = std::isfinite(first) ? std::min(first, row.start) : row.start;
    last = std::isfinite(last) ? std::max(last, row.start) : row.start;
    if (std::isfinite(row.hm0)) {
      hm0Line_.push_back({row.start, row.hm0});
      hm0Top = std::max(hm0Top, row.hm0);
    }
    if (std::isfinite(row.tp)) {
      tpLine_.push_back({row.start, row.tp});
      tpTop = std::max(tpTop, row.tp);
    }
  }
  // Segments come in order of time; the envelope needs them so.
  const auto byTime = [](const LinePoint& a, const LinePoint& b) { return a.x < b.x; };
  std::stable_sort(hm0Line_.begin(), hm0Line_.end(), byTime);
  std::stable_sort(tpLine_.begin(), tpLine_.end(), byTime);
  timeChart_->zoomReset();
  if (!std::isfinite(first)) {
    first = 0.0;
    last = 1.0;
  } else if (!(last > first)) {
    first -= 600.0;
    last += 600.0;
  }
  timeAxis_->setRange(first, last);
  SetRangeOf(hm0Axis_, 0.0, hm0Top > 0.0 ? hm0Top * 1.1 : 1.0);
  SetRangeOf(tpAxis_, 0.0, tpTop > 0.0 ? tpTop * 1.1 : 1.0);
  DrawTimeLines();
}

namespace {

QList<QPointF> PointsOf(const std::vector<LinePoint>& line) {
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(line.size()));
  for (const LinePoint& p : line)
    points.append(QPointF(p.x, p.y));
  return points;
}

// Below this many pixels per point the dots would merge into a bar.
constexpr int kPixelsPerDot = 5;

}  // namespace

void WaveWindow::DrawTimeLines() {
  // Placing the ticks sets the axis's range again.
  if (drawingTimeLines_)
    return;
  drawingTimeLines_ = true;
  const int columns = std::max(1, static_cast<int>(timeChart_->plotArea().width()));
  const double from = timeAxis_->min();
  const double to = timeAxis_->max();
  const std::vector<LinePoint> hm0 = LineEnvelope(hm0Line_, from, to, columns);
  const std::vector<LinePoint> tp = LineEnvelope(tpLine_, from, to, columns);
  const bool dots = static_cast<int>(std::max(hm0.size(), tp.size())) * kPixelsPerDot <= columns;
  hm0_->setPointsVisible(dots);
  tp_->setPointsVisible(dots);
  hm0_->replace(PointsOf(hm0));
  tp_->replace(PointsOf(tp));
  PlaceTimeTicks(timeAxis_, columns);
  drawingTimeLines_ = false;
}

void WaveWindow::ShowSpectrum(int row) {
  spectrum_->clear();
  peak_->clear();
  band_->upperSeries()->clear();
  band_->lowerSeries()->clear();
  if (row < 0 || row >= static_cast<int>(table_.rows.size())) {
    spectrumChart_->setTitle(QString());
    return;
  }
  const WaveRow& segment = table_.rows[static_cast<size_t>(row)];
  spectrumChart_->setTitle(
      QStringLiteral("Segment %1, from %2").arg(row + 1).arg(UtcText(segment.start)));
  QList<QPointF> points;
  double top = 0.0;
  double highest = 0.0;
  for (size_t i = 0; i < segment.density.size(); ++i) {
    const double density = segment.density[i];
    if (!std::isfinite(density))
      continue;
    const double frequency = static_cast<double>(i) * segment.resolution;
    points.append(QPointF(frequency, density));
    top = std::max(top, density);
    highest = frequency;
  }
  spectrum_->replace(points);
  const double yTop = top > 0.0 ? top * 1.1 : 1.0;
  band_->upperSeries()->replace({QPointF(segment.bandLow, yTop), QPointF(segment.bandHigh, yTop)});
  band_->lowerSeries()->replace({QPointF(segment.bandLow, 0.0), QPointF(segment.bandHigh, 0.0)});
  if (std::isfinite(segment.fp) && segment.resolution > 0.0) {
    const auto bin = static_cast<size_t>(std::llround(segment.fp / segment.resolution));
    if (bin < segment.density.size())
      peak_->append(segment.fp, static_cast<double>(segment.density[bin]));
  }
  SetRangeOf(frequencyAxis_, 0.0, std::max(highest, segment.bandHigh));
  SetRangeOf(densityAxis_, 0.0, yTop);
  charts_->setCurrentIndex(1);
}

QString WaveWindow::SuggestedCsvPath() const {
  if (source_.dumpPath.empty())
    return QDir::home().filePath(QStringLiteral("waves.csv"));
  const QFileInfo dump(QString::fromStdString(source_.dumpPath));
  return dump.dir().filePath(dump.completeBaseName() + QStringLiteral(".waves.csv"));
}

bool WaveWindow::SaveCsv(const QString& path) {
  // The file dialog has asked before a file is replaced.
  std::string error;
  if (!SaveWaveTable(table_, path.toStdString(), source_.dumpPath, true, &error)) {
    note_->setText(QStringLiteral("The table could not be saved: %1. Choose another name or a "
                                  "folder you may write to.")
                       .arg(QString::fromStdString(error)));
    return false;
  }
  note_->setText(QStringLiteral("Saved as %1").arg(QDir::toNativeSeparators(path)));
  return true;
}

void WaveWindow::AskAndSave() {
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Export Wave Statistics"),
                                   SuggestedCsvPath(), QStringLiteral("CSV files (*.csv)"));
  if (!path.isEmpty())
    SaveCsv(path);
}
