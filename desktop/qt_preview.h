// The preview window: the converted readings against their times on the
// dump's clock, drawn from a min/max envelope one pair per pixel column,
// with the date stamps marked and the readings flagged suspect or bad
// coloured, their counts in the legend. The time axis ticks at round times and the
// value axis at 1, 2 or 5 times a power of ten, labelled as the locale
// writes numbers. A crosshair follows the pointer with its time and value.
// Zoom with the rubber band, the wheel or + and −; pan by dragging with the
// right button or with the arrow keys; Home shows everything again. Saved
// as a PNG beside the dump.
#pragma once

#include <QLocale>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "desktop/preview_series.h"

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QTimer;

// "/data/site1-preview.png" for the dump "/data/site1.txt"; "preview.png" in
// the home folder when there is no dump.
QString PreviewSavePath(const QString& dumpPath);
// "2019-06-30 14:05:30.250  ·  1,234.57": the crosshair's time and value,
// the value to `decimals` places as `locale` writes it.
QString CrosshairReadout(double time, double value, int decimals, const QLocale& locale);

class PreviewWindow : public QWidget {
 public:
  explicit PreviewWindow(QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // Shows `note` (why there is nothing yet) until SetSeries.
  void ShowLoading(const QString& title, const QString& note);
  void SetSeries(std::shared_ptr<const PreviewSeries> series);
  bool HasSeries() const { return series_ != nullptr; }
  // The time of the first reading drawn (0 without a series).
  double FirstTime() const { return series_ != nullptr ? series_->envelope.FirstX() : 0.0; }

  // The whole range again.
  void ResetZoom();
  // Narrows (factor > 1) or widens the time range about its middle.
  void ZoomTime(double factor);
  // Moves the view by a share of its width and of its height.
  void Pan(double timeShare, double valueShare);
  // Saves the chart as a PNG; false when it cannot be written.
  bool SaveAsPng(const QString& path);
  // Where Save as PNG proposes to write.
  QString SuggestedSavePath() const;

  // Moves the crosshair to a point of the chart's scene, as the pointer does.
  void PointAt(const QPointF& scenePoint);

  QChartView* ChartView() const { return view_; }
  // The envelope drawn: one area per run of neighbouring columns, so that a
  // gap in time stays empty. Upper and lower lines of run `i`.
  int Runs() const { return runsShown_; }
  QLineSeries* UpperSeries(int run = 0) const;
  QLineSeries* LowerSeries(int run = 0) const;
  QAreaSeries* Envelope() const { return areas_.front(); }
  QScatterSeries* MarkSeries() const { return marks_; }
  // The readings flagged suspect (3) and bad (4): a column's lowest and
  // highest of them.
  QScatterSeries* SuspectSeries() const { return suspect_; }
  QScatterSeries* BadSeries() const { return bad_; }
  QCategoryAxis* AxisX() const { return axisX_; }
  QCategoryAxis* AxisY() const { return axisY_; }
  QLabel* Note() const { return note_; }
  QLabel* Readout() const { return readout_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Redecimate();
  void DrawFlagged(double from, double to, int columns);
  void NameFlagged();
  void PlaceTicks();
  void AskAndSave();
  void HideCrosshair();
  bool HandleKey(int key);
  QAreaSeries* Area(int run);

  std::shared_ptr<const PreviewSeries> series_;
  QChartView* view_;
  QChart* chart_;
  std::vector<QAreaSeries*> areas_;
  int runsShown_ = 0;
  QScatterSeries* marks_;
  QScatterSeries* suspect_;
  QScatterSeries* bad_;
  QCategoryAxis* axisX_;
  QCategoryAxis* axisY_;
  int valueDecimals_ = 2;
  QGraphicsLineItem* crossTime_;
  QGraphicsLineItem* crossValue_;
  QLabel* note_;
  QLabel* readout_;
  QTimer* redraw_;
  QLocale locale_;
  bool resetting_ = false;
  // The whole conversion is shown: a new plot size shows it anew.
  bool wholeView_ = false;
  bool placed_ = false;
};
