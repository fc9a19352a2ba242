// The preview window: the converted readings against time (or against their
// order), drawn from a min/max envelope one pair per pixel column, with the
// marks along it. Zoom with the rubber band or the wheel, pan by dragging
// with the right button, reset, save as PNG.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "desktop/preview_series.h"

class QChart;
class QChartView;
class QLabel;
class QAreaSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QTimer;

class PreviewWindow : public QWidget {
 public:
  explicit PreviewWindow(QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // Shows "Reading the output…" until SetSeries.
  void ShowLoading(const QString& title);
  void SetSeries(std::shared_ptr<const PreviewSeries> series);
  bool HasSeries() const { return series_ != nullptr; }

  // The whole range again.
  void ResetZoom();
  // Saves the chart as a PNG; false when it cannot be written.
  bool SaveAsPng(const QString& path);

  QChartView* ChartView() const { return view_; }
  // The envelope drawn: one area per run of neighbouring columns, so that a
  // gap in time stays empty. Upper and lower lines of run `i`.
  int Runs() const { return runsShown_; }
  QLineSeries* UpperSeries(int run = 0) const;
  QLineSeries* LowerSeries(int run = 0) const;
  QScatterSeries* MarkSeries() const { return marks_; }
  QValueAxis* AxisX() const { return axisX_; }
  QLabel* Note() const { return note_; }

 private:
  void Redecimate();
  void AskAndSave();
  QAreaSeries* Area(int run);

  std::shared_ptr<const PreviewSeries> series_;
  QChartView* view_;
  QChart* chart_;
  std::vector<QAreaSeries*> areas_;
  int runsShown_ = 0;
  QScatterSeries* marks_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  QLabel* note_;
  QTimer* redraw_;
  bool resetting_ = false;
};
