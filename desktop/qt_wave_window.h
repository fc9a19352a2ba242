// View > Wave statistics: the segments of the last conversion's dump in a
// table, Hm0 and Tp against time, and the spectrum of the segment clicked
// with the band and the peak marked. The statistics come from the
// conversion's own readings; the pressure settings for a gauge dump sit in
// a small form beside the table and apply from the next conversion (the
// dump is not read again to work them out). The table can be saved as the
// statistics CSV.
#pragma once

#include <QDialog>
#include <QLocale>

#include <vector>

#include "desktop/preview_series.h"
#include "desktop/wave_run.h"

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QSplitter;
class QTableWidget;
class QTabWidget;
class QValueAxis;

class WaveWindow : public QDialog {
 public:
  explicit WaveWindow(QWidget* parent = nullptr);

  // The last conversion's dump and statistics.
  void SetResults(const WaveResults& results);
  // The settings of the form; none when they cannot be used (`error` says why).
  bool Settings(WaveSettings* settings, std::string* error) const;
  // Keeps the form's settings for the next conversion, as Apply does.
  void ApplySettings();
  // Shows the table's segment `row` in the spectrum chart.
  void ShowSpectrum(int row);
  // Writes the statistics CSV to `path`; false with the reason shown.
  bool SaveCsv(const QString& path);
  // Where Export table as CSV proposes to write.
  QString SuggestedCsvPath() const;
  const WaveTable& Table() const { return table_; }

  // For the tests.
  QTableWidget* TableView() const { return tableView_; }
  QComboBox* UnitBox() const { return unit_; }
  QPushButton* ApplyButton() const { return apply_; }
  QDoubleSpinBox* SensorHeight() const { return sensorHeight_; }
  QLineSeries* Hm0Series() const { return hm0_; }
  QLineSeries* TpSeries() const { return tp_; }
  QCategoryAxis* TimeAxis() const { return timeAxis_; }
  QChart* TimeChart() const { return timeChart_; }
  QLineSeries* SpectrumSeries() const { return spectrum_; }
  QScatterSeries* PeakSeries() const { return peak_; }
  QAreaSeries* BandSeries() const { return band_; }
  QLabel* Note() const { return note_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildForm(QWidget* side);
  void FillTable();
  void FillTimeChart();
  // Draws the Hm0 and Tp lines over the time axis's range, as their
  // envelope per pixel column when they are long; again on every zoom.
  void DrawTimeLines();
  void NameUnits();
  // Gives the charts their share of the window's width.
  void ShareWidth();
  int LeastChartWidth() const;
  int FirstColumnsWidth() const;
  void FitFrequencyTicks();
  void AskAndSave();
  void ShowPressureFields();
  void ShowSettings(const WaveSettings& settings);
  void TellAboutTable();

  ExportSource source_;
  WaveTable table_;
  QLocale locale_;
  QComboBox* unit_ = nullptr;
  QDoubleSpinBox* atmospheric_ = nullptr;
  QDoubleSpinBox* density_ = nullptr;
  QDoubleSpinBox* sensorHeight_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* save_ = nullptr;
  QTableWidget* tableView_ = nullptr;
  QTabWidget* charts_ = nullptr;
  QSplitter* splitter_ = nullptr;
  bool shownOnce_ = false;
  QChart* timeChart_ = nullptr;
  QCategoryAxis* timeAxis_ = nullptr;
  QValueAxis* hm0Axis_ = nullptr;
  QValueAxis* tpAxis_ = nullptr;
  QLineSeries* hm0_ = nullptr;
  QLineSeries* tp_ = nullptr;
  std::vector<LinePoint> hm0Line_;
  std::vector<LinePoint> tpLine_;
  bool drawingTimeLines_ = false;
  QChart* spectrumChart_ = nullptr;
  QValueAxis* frequencyAxis_ = nullptr;
  QValueAxis* densityAxis_ = nullptr;
  QLineSeries* spectrum_ = nullptr;
  QScatterSeries* peak_ = nullptr;
  QAreaSeries* band_ = nullptr;
  QLabel* note_ = nullptr;
};
