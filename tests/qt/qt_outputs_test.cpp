// The preview as a chart (ticks, crosshair, keys, save path, size), File >
// Export and View > Wave statistics, on the real panel offscreen.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "desktop/additions.h"
#include "desktop/feedback.h"
#include "desktop/preview_listener.h"
#include "desktop/qt_export.h"
#include "desktop/qt_panel_extras.h"
#include "desktop/qt_preview.h"
#include "desktop/qt_wave_window.h"
#include "desktop/window_fit.h"
#include "runtime/ui.h"
#include "tests/qt/qt_test_access.h"
#include "tests/qt/qt_test_support.h"
#include "tests/test_support.h"

using zorq_qt_test::kPatienceMs;
using zorq_qt_test::Panel;
using zorq_qt_test::QtShell;
using zorq_test::FileExists;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

constexpr double kPi = 3.14159265358979323846;
// 2019-06-30T12:00:00 on a calendar with no zone.
constexpr double kNoon = 1561896000.0;

// A logger-like series: `count` readings at 4 Hz from noon, a sine between
// -amplitude and +amplitude.
std::shared_ptr<PreviewSeries> SineSeries(int count, double amplitude) {
  PreviewListener listener(false);
  std::vector<double> values;
  for (int i = 0; i < count; ++i)
    values.push_back(amplitude * std::sin(2.0 * kPi * i / 32.0));
  ReadingLine line;
  line.values = values.data();
  line.count = count;
  line.stamped = true;
  line.stamp = static_cast<LocalSeconds>(kNoon);
  line.sampleRate = 4;
  listener.OnReadings(line);
  auto series = std::make_shared<PreviewSeries>(listener.Finish());
  series->dumpPath = "/data/site1.txt";
  return series;
}

// A shown preview of `series`, laid out.
struct ShownPreview {
  PreviewWindow window;
  explicit ShownPreview(std::shared_ptr<PreviewSeries> series) {
    window.SetSeries(std::move(series));
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();
    window.ResetZoom();
  }
  double Width() const { return window.AxisX()->max() - window.AxisX()->min(); }
};

TEST(QtPreviewChart, TimeTicksAtRoundTimesAndValuesGroupedAsTheLocaleGroups) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ShownPreview shown(SineSeries(4000, 12000.0));
  QLocale::setDefault(before);
  // 1,000 s from noon: every tick on a whole number of seconds.
  const QStringList times = shown.window.AxisX()->categoriesLabels();
  ASSERT_GE(times.size(), 2);
  for (const QString& label : times) {
    const double at = shown.window.AxisX()->endValue(label);
    EXPECT_DOUBLE_EQ(at, std::round(at)) << label.toStdString();
  }
  EXPECT_TRUE(times.first().startsWith(QStringLiteral("2019-06-30 12:")))
      << times.first().toStdString();
  EXPECT_TRUE(shown.window.AxisY()->categoriesLabels().contains(QStringLiteral("10,000")))
      << shown.window.AxisY()->categoriesLabels().join(' ').toStdString();
  EXPECT_EQ(shown.window.Note()->text(), QStringLiteral("4,000 readings, 1 date stamp"));
}

// The legend says what is drawn: each reading, or the range per column.
// The time labels the chart draws, left to right.
QStringList DrawnTimeLabels(const PreviewWindow& window) {
  const QRectF plot = window.ChartView()->chart()->plotArea();
  std::vector<std::pair<double, QString>> drawn;
  for (QGraphicsItem* item : window.ChartView()->scene()->items()) {
    auto* text = dynamic_cast<QGraphicsTextItem*>(item);
    if (text == nullptr || !text->isVisible() || text->toPlainText().isEmpty())
      continue;
    const QPointF at = text->scenePos();
    if (at.y() > plot.bottom() && at.y() < plot.bottom() + 3 * text->boundingRect().height())
      drawn.emplace_back(at.x(), text->toPlainText());
  }
  std::sort(drawn.begin(), drawn.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  QStringList labels;
  for (const auto& [x, label] : drawn)
    labels << label;
  return labels;
}

struct FirstTickCase {
  const char* name;
  double from;  // seconds after noon
  double to;
};

void PrintTo(const FirstTickCase& row, std::ostream* out) {
  *out << row.name;
}

class QtPreviewFirstTick : public testing::TestWithParam<FirstTickCase> {};

// However the range starts, the first time label drawn names the date.
TEST_P(QtPreviewFirstTick, TheFirstLabelDrawnNamesTheDate) {
  ShownPreview shown(SineSeries(4000, 1.0));
  shown.window.AxisX()->setRange(kNoon + GetParam().from, kNoon + GetParam().to);
  QApplication::processEvents();
  QApplication::processEvents();
  const QStringList drawn = DrawnTimeLabels(shown.window);
  ASSERT_GE(drawn.size(), 2) << drawn.join(" | ").toStdString();
  EXPECT_TRUE(drawn.first().startsWith(QStringLiteral("2019-06-30 12:")))
      << drawn.join(" | ").toStdString();
  EXPECT_FALSE(drawn[1].startsWith(QStringLiteral("2019-"))) << drawn.join(" | ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Ranges, QtPreviewFirstTick,
                         testing::Values(FirstTickCase{"OnARoundTime", 0.0, 1000.0},
                                         FirstTickCase{"JustBeforeARoundTime", 119.99, 1000.0},
                                         FirstTickCase{"HalfASecondBefore", 9.5, 40.0},
                                         FirstTickCase{"JustAfterARoundTime", 60.01, 400.0}),
                         [](const testing::TestParamInfo<FirstTickCase>& row) {
                           return std::string(row.param.name);
                         });

// The whole view of a conversion that starts on a round time labels that
// time first, however wide the window.
class QtPreviewWholeView : public testing::TestWithParam<QSize> {};

TEST_P(QtPreviewWholeView, LabelsTheFirstReadingsTime) {
  ShownPreview shown(SineSeries(4000, 1.0));
  shown.window.resize(GetParam());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QStringList drawn = DrawnTimeLabels(shown.window);
        return !drawn.isEmpty() && drawn.first().startsWith(QStringLiteral("2019-06-30 12:00"));
      },
      kPatienceMs))
      << DrawnTimeLabels(shown.window).join(" | ").toStdString();
  EXPECT_LT(shown.window.AxisX()->min(), kNoon);
  EXPECT_DOUBLE_EQ(shown.window.AxisX()->max(), kNoon + 3999 / 4.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, QtPreviewWholeView,
                         testing::Values(QSize(820, 480), QSize(1400, 700), QSize(480, 320)));

TEST(QtPreviewChart, TheLegendSaysWhetherColumnsGatherReadings) {
  ShownPreview few(SineSeries(20, 1.0));
  EXPECT_EQ(few.window.Envelope()->name(), QStringLiteral("readings"));
  ShownPreview many(SineSeries(40000, 1.0));
  EXPECT_EQ(many.window.Envelope()->name(),
            QStringLiteral("readings (lowest to highest per pixel column)"));
}

struct KeyCase {
  const char* name;
  int key;
  double widthFactor;  // of the whole range
  double shift;        // of the minimum, as a share of the whole width
};

class QtPreviewKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(QtPreviewKeys, ZoomAndPanTheTimeAxis) {
  ShownPreview shown(SineSeries(4000, 1.0));
  const double width = shown.Width();
  const double start = shown.window.AxisX()->min();
  QTest::keyClick(shown.window.ChartView(), static_cast<Qt::Key>(GetParam().key));
  EXPECT_NEAR(shown.Width(), width * GetParam().widthFactor, 1e-6 * width);
  EXPECT_NEAR(shown.window.AxisX()->min() - start, GetParam().shift * width, 1e-6 * width);
  // Home shows everything again.
  QTest::keyClick(shown.window.ChartView(), Qt::Key_Home);
  EXPECT_DOUBLE_EQ(shown.window.AxisX()->min(), start);
  EXPECT_NEAR(shown.Width(), width, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Keys, QtPreviewKeys,
                         testing::Values(KeyCase{"Plus", Qt::Key_Plus, 1 / 1.5, (1 - 1 / 1.5) / 2},
                                         KeyCase{"Minus", Qt::Key_Minus, 1.5, -0.25},
                                         KeyCase{"Right", Qt::Key_Right, 1.0, 0.1},
                                         KeyCase{"Left", Qt::Key_Left, 1.0, -0.1},
                                         KeyCase{"Up", Qt::Key_Up, 1.0, 0.0}),
                         [](const testing::TestParamInfo<KeyCase>& row) { return row.param.name; });

TEST(QtPreviewChart, TheCrosshairReadsTimeAndValueUnderThePointer) {
  ShownPreview shown(SineSeries(4000, 1.0));
  QChart* chart = shown.window.ChartView()->chart();
  const QRectF plot = chart->plotArea();
  shown.window.PointAt(chart->mapToScene(plot.center()));
  const QPointF value = chart->mapToValue(plot.center(), shown.window.Envelope());
  EXPECT_EQ(shown.window.Readout()->text(), CrosshairReadout(value.x(), value.y(), 2, QLocale()));
  EXPECT_TRUE(shown.window.Readout()->text().startsWith(QStringLiteral("2019-06-30 12:0")));
  shown.window.PointAt(chart->mapToScene(plot.topLeft() - QPointF(5, 5)));
  EXPECT_TRUE(shown.window.Readout()->text().isEmpty());
}

struct ReadoutCase {
  double time;
  double value;
  int decimals;
  QLocale::Language language;
  const char* text;
};

class QtCrosshairReadout : public testing::TestWithParam<ReadoutCase> {};

TEST_P(QtCrosshairReadout, TimeToTheMillisecondAndTheValueInTheLocalesDigits) {
  const ReadoutCase& c = GetParam();
  EXPECT_EQ(CrosshairReadout(c.time, c.value, c.decimals, QLocale(c.language)).toStdString(),
            c.text);
}

INSTANTIATE_TEST_SUITE_P(Values, QtCrosshairReadout,
                         testing::Values(ReadoutCase{kNoon + 0.25, 1234.567, 2, QLocale::English,
                                                     "2019-06-30 12:00:00.250  \u00b7  1,234.57"},
                                         ReadoutCase{kNoon + 61.0, -0.5, 3, QLocale::German,
                                                     "2019-06-30 12:01:01.000  \u00b7  -0,500"},
                                         ReadoutCase{kNoon, 1234567.0, 0, QLocale::German,
                                                     "2019-06-30 12:00:00.000  \u00b7  "
                                                     "1.234.567"}));

TEST(QtPreviewChart, SavesBesideTheDump) {
  EXPECT_EQ(PreviewSavePath(QStringLiteral("/data/site1.txt")),
            QStringLiteral("/data/site1-preview.png"));
  EXPECT_EQ(PreviewSavePath(QStringLiteral("/data/site1.v2.txt")),
            QStringLiteral("/data/site1.v2-preview.png"));
  EXPECT_EQ(PreviewSavePath(QString()), QDir::home().filePath(QStringLiteral("preview.png")));
  ShownPreview shown(SineSeries(100, 1.0));
  EXPECT_EQ(shown.window.SuggestedSavePath(), QStringLiteral("/data/site1-preview.png"));
  TempDir dir;
  const QString png = QString::fromStdString(dir.Path("chart.png"));
  EXPECT_TRUE(shown.window.SaveAsPng(png));
  EXPECT_GT(QImage(png).width(), 100);
  EXPECT_FALSE(shown.window.SaveAsPng(QString::fromStdString(dir.Path("none/chart.png"))));
}

struct FitCase {
  const char* name;
  QSize wanted;
  QRect available;
  QSize fitted;
};

class WindowFit : public testing::TestWithParam<FitCase> {};

TEST_P(WindowFit, TheInsideAndItsFrameFitTheAvailableArea) {
  EXPECT_EQ(SizeWithin(GetParam().wanted, GetParam().available, QMargins(4, 30, 4, 4)),
            GetParam().fitted);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, WindowFit,
    testing::Values(FitCase{"Room", QSize(820, 480), QRect(0, 0, 1280, 1000), QSize(820, 480)},
                    // 1024×600 at scale 1.5, less a panel of 28 px.
                    FitCase{"Small", QSize(820, 480), QRect(0, 28, 683, 372), QSize(675, 338)},
                    FitCase{"Narrow", QSize(820, 200), QRect(0, 0, 500, 900), QSize(492, 200)}),
    [](const testing::TestParamInfo<FitCase>& row) { return row.param.name; });

// Every window of the program's own fits the screen it opens on.
void ExpectOnScreen(QWidget* window) {
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  const QRect available = window->screen()->availableGeometry();
  EXPECT_TRUE(available.contains(window->frameGeometry()))
      << window->objectName().toStdString() << " at " << window->frameGeometry().width() << "x"
      << window->frameGeometry().height() << " on " << available.width() << "x"
      << available.height();
}

// Every button of `window` lies on the screen, where it can be pressed.
void ExpectButtonsOnScreen(QWidget* window) {
  const QRect available = window->screen()->availableGeometry();
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    if (!button->isVisibleTo(window))
      continue;
    const QRect shown(button->mapToGlobal(QPoint(0, 0)), button->size());
    EXPECT_TRUE(available.contains(shown))
        << window->objectName().toStdString() << ": " << button->text().toStdString();
  }
}

// Opens `dump` and a new To file beside it and converts a gauge dump.
std::string ConvertGauge(Panel& panel, const std::string& dump) {
  panel.OpenFrom(dump);
  panel.OpenTo(dump + ".csv");
  panel.Choose(kCtrlFromType, 3);
  panel.Choose(kCtrlToType, 1);
  return panel.Convert();
}

// A gauge dump at 4 Hz: two bursts of 43 lines of twelve readings of a sine
// of amplitude 0.5 and period 8 s.
std::string SineGaugeDump() {
  std::string dump = "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
  for (int burst = 0; burst < 2; ++burst) {
    dump += burst == 0 ? "Y19,M06,D30,H12,M00,S00,\r\n" : "Y19,M06,D30,H13,M00,S00,\r\n";
    int sample = 0;
    for (int line = 0; line < 43; ++line) {
      for (int i = 0; i < 12; ++i, ++sample)
        dump +=
            QString::number(0.5 * std::sin(2.0 * kPi * sample / 32.0), 'f', 5).toStdString() + ",";
      dump += "320,\r\n";
    }
  }
  return dump;
}

TEST(QtOutputsMenu, ExportAndWaveStatisticsOpenForTheLastConversion) {
  Panel panel;
  EXPECT_FALSE(panel.Item(kMenuExport)->isEnabled());
  EXPECT_FALSE(panel.Item(kMenuWaveStatistics)->isEnabled());
  const std::string dump = panel.dir.Path("site1.txt");
  WriteWholeFile(dump, SineGaugeDump());
  ASSERT_EQ(ConvertGauge(panel, dump), "Finished All");
  ASSERT_TRUE(panel.Item(kMenuExport)->isEnabled());

  // File > Export: the form remembers what was entered while the program runs.
  panel.Item(kMenuExport)->trigger();
  ExportWindow* form = QtTestAccess::Export(*panel.extras);
  ASSERT_NE(form, nullptr);
  ExpectOnScreen(form);
  form->TidyBox()->setChecked(true);
  form->UnitsEdit()->setText(QStringLiteral("m"));
  form->hide();
  panel.Item(kMenuExport)->trigger();
  EXPECT_EQ(QtTestAccess::Export(*panel.extras), form);
  EXPECT_EQ(form->UnitsEdit()->text(), QStringLiteral("m"));
  const ExportResult result = form->Export();
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(FileExists(panel.dir.Path("site1.nc")));
  EXPECT_TRUE(FileExists(panel.dir.Path("site1.tidy.csv")));
  EXPECT_TRUE(form->Outcome()->text().startsWith(QStringLiteral("Written: ")));

  // View > Wave statistics: a row per burst, from the conversion's own
  // readings (the dump is gone: nothing reads it again); a click shows its
  // spectrum with the peak at 1/8 Hz inside the band.
  ASSERT_EQ(std::remove(dump.c_str()), 0);
  panel.Item(kMenuWaveStatistics)->trigger();
  WaveWindow* waves = QtTestAccess::Waves(*panel.extras);
  ASSERT_NE(waves, nullptr);
  ExpectOnScreen(waves);
  ASSERT_EQ(waves->TableView()->rowCount(), 2);
  EXPECT_EQ(waves->Hm0Series()->count(), 2);
  waves->TableView()->selectRow(1);
  ASSERT_EQ(waves->PeakSeries()->count(), 1);
  EXPECT_NEAR(waves->PeakSeries()->at(0).x(), 0.125, 1e-9);
  EXPECT_GT(waves->SpectrumSeries()->count(), 10);
  EXPECT_EQ(waves->BandSeries()->lowerSeries()->at(0).x(), 0.04);
  const QString csv = QString::fromStdString(panel.dir.Path("site1.waves.csv"));
  EXPECT_EQ(waves->SuggestedCsvPath(), csv);
  EXPECT_TRUE(waves->SaveCsv(csv));
  EXPECT_EQ(zorq_test::ReadWholeFile(csv.toStdString()), WaveTableCsv(waves->Table()));

  // Pressure settings apply from the next conversion, which works them out
  // as it converts.
  waves->UnitBox()->setCurrentIndex(waves->UnitBox()->findText(QStringLiteral("dbar")));
  waves->SensorHeight()->setValue(0.5);
  waves->ApplySettings();
  EXPECT_TRUE(waves->Note()->text().contains(QStringLiteral("next conversion")))
      << waves->Note()->text().toStdString();
  EXPECT_FALSE(waves->Table().settings.pressure.has_value());
  WriteWholeFile(dump, SineGaugeDump());
  ASSERT_EQ(ConvertGauge(panel, dump), "Finished All");
  panel.Item(kMenuWaveStatistics)->trigger();
  ASSERT_TRUE(waves->Table().settings.pressure.has_value());
  EXPECT_DOUBLE_EQ(waves->Table().settings.pressure->sensorHeight, 0.5);
  EXPECT_EQ(waves->TableView()->rowCount(), 2);
  waves->ApplySettings();
  EXPECT_EQ(waves->Note()->text(), QStringLiteral("The table was worked out with these settings."));
  ChooseWaveSettings(WaveSettings{});  // the next tests convert without pressure

  // Pressure is for gauge dumps; a logger dump's window offers none.
  waves->SetResults({{dump, 1, {}, false, Zone()}, nullptr});
  EXPECT_FALSE(waves->UnitBox()->isEnabled());
  EXPECT_EQ(waves->TableView()->rowCount(), 0);
}

// Export's clock settings belong to one dump: another dump starts from the
// defaults, in the zone its conversion used; the first dump gets back what
// it was exported with. The zone field sets the zone the times are read in.
TEST(QtExportForm, SettingsAndZoneBelongToOneDump) {
  zorq_test::TempDir dir;
  const std::string first = dir.Path("first.txt");
  const std::string second = dir.Path("second.txt");
  WriteWholeFile(first, SineGaugeDump());
  WriteWholeFile(second, SineGaugeDump());
  const Zone berlin = *Zone::Named("Europe/Berlin");
  ExportWindow form;
  form.AnswerReplaceWith([](const std::vector<std::string>&) { return true; });
  form.NetcdfBox()->setChecked(false);
  form.TidyBox()->setChecked(true);

  form.SetSource({first, 3, {}, false, berlin});
  EXPECT_EQ(form.ZoneEdit()->text(), QStringLiteral("Europe/Berlin"));
  form.OffsetBox()->setValue(5.0);
  form.UnitsEdit()->setText(QStringLiteral("dbar"));
  ASSERT_TRUE(form.Export().ok) << form.Outcome()->text().toStdString();
  // 12:00 on the dump's clock in Berlin's summer, less the clock's 5 s.
  const std::string tidy = zorq_test::ReadWholeFile(dir.Path("first.tidy.csv"));
  EXPECT_NE(tidy.find("\n2019-06-30T09:59:55.000Z,"), std::string::npos) << tidy.substr(0, 120);

  form.SetSource({second, 3, {}, false, Zone()});
  EXPECT_EQ(form.ZoneEdit()->text(), QStringLiteral("UTC"));
  EXPECT_EQ(form.OffsetBox()->value(), 0.0);
  EXPECT_TRUE(form.UnitsEdit()->text().isEmpty());

  form.SetSource({first, 3, {}, false, berlin});
  EXPECT_EQ(form.OffsetBox()->value(), 5.0);
  EXPECT_EQ(form.UnitsEdit()->text(), QStringLiteral("dbar"));

  form.ZoneEdit()->setText(QStringLiteral("Atlantis/Capital"));
  const ExportResult unknown = form.Export();
  EXPECT_FALSE(unknown.ok);
  EXPECT_NE(unknown.error.find("Atlantis/Capital"), std::string::npos) << unknown.error;
}

// An open Wave statistics window follows each conversion: its rows, the
// pressure form (for gauge dumps only, with the settings the rows were
// worked out with) and the line below.
TEST(QtOutputsMenu, AnOpenWaveWindowFollowsEveryConversion) {
  Panel panel;
  panel.OpenFrom(ZORQ_SOURCE_DIR "/samples/logger_type2_dump.txt");
  panel.OpenTo(panel.dir.Path("logger.csv"));
  panel.Choose(kCtrlFromType, 2);
  ASSERT_EQ(panel.Convert(), "Finished All");
  panel.Item(kMenuWaveStatistics)->trigger();
  WaveWindow* waves = QtTestAccess::Waves(*panel.extras);
  ASSERT_NE(waves, nullptr);
  const int loggerRows = waves->TableView()->rowCount();
  ASSERT_GT(loggerRows, 0);
  EXPECT_FALSE(waves->UnitBox()->isEnabled());
  EXPECT_TRUE(waves->SaveCsv(QString::fromStdString(panel.dir.Path("logger.waves.csv"))));
  EXPECT_TRUE(waves->Note()->text().startsWith(QStringLiteral("Saved as")));

  // A gauge dump converted with the window open: no reopening needed.
  const std::string dump = panel.dir.Path("site1.txt");
  WriteWholeFile(dump, SineGaugeDump());
  panel.shell.ui().MenuItemAction(PanelHandle, kMenuCloseTo)->trigger();
  ASSERT_EQ(ConvertGauge(panel, dump), "Finished All");
  EXPECT_EQ(waves->TableView()->rowCount(), 2);
  EXPECT_TRUE(waves->UnitBox()->isEnabled());
  EXPECT_TRUE(waves->Note()->text().contains(QStringLiteral("site1.txt")))
      << waves->Note()->text().toStdString();
  EXPECT_EQ(waves->Hm0Series()->count(), 2);

  // Settings applied, then changed without applying: the next conversion
  // uses the applied ones, and the form shows what the rows were worked out with.
  waves->UnitBox()->setCurrentIndex(waves->UnitBox()->findText(QStringLiteral("dbar")));
  waves->SensorHeight()->setValue(0.5);
  waves->ApplySettings();
  waves->UnitBox()->setCurrentIndex(waves->UnitBox()->findText(QStringLiteral("Pa")));
  ASSERT_EQ(ConvertGauge(panel, dump), "Finished All");
  ASSERT_TRUE(waves->Table().settings.pressure.has_value());
  EXPECT_EQ(waves->UnitBox()->currentText(), QStringLiteral("dbar"));
  EXPECT_DOUBLE_EQ(waves->SensorHeight()->value(), 0.5);
  EXPECT_TRUE(waves->SensorHeight()->isEnabled());
  ChooseWaveSettings(WaveSettings{});  // the next tests convert without pressure

  // A closed window is not brought back by a conversion.
  waves->hide();
  ASSERT_EQ(panel.Convert(), "Finished All");
  EXPECT_FALSE(waves->isVisible());
}

// Months of segments: the Hm0 and Tp lines draw a bounded number of points,
// keep each pixel column's extremes, and are drawn anew for a zoomed range.
TEST(QtWaveChart, ALongDumpIsDrawnAsItsEnvelopeAndRedrawnOnZoom) {
  constexpr int kSegments = 155000;
  constexpr int kSpike = 77777;
  auto table = std::make_shared<WaveTable>();
  table->ok = true;
  table->rows.resize(kSegments);
  for (int i = 0; i < kSegments; ++i) {
    WaveRow& row = table->rows[static_cast<size_t>(i)];
    row.start = kNoon + 1200.0 * i;
    row.end = row.start + 1199.75;
    row.samples = 4800;
    row.hm0 = 1.0 + 0.3 * std::sin(i * 0.001);
    row.tp = 8.0 + std::cos(i * 0.002);
  }
  table->rows[kSpike].hm0 = 9.5;
  WaveWindow waves;
  waves.SetResults({{"/data/long.txt", 3, {}, false, Zone()}, table});
  waves.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&waves));
  waves.findChild<QTabWidget*>()->setCurrentIndex(0);
  // The charts take more than half the window's width; the table gives way.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return waves.findChild<QTabWidget*>()->width() > waves.width() / 2; }, kPatienceMs))
      << waves.findChild<QTabWidget*>()->width() << " of " << waves.width();
  QApplication::processEvents();
  const int columns = static_cast<int>(waves.TimeChart()->plotArea().width());
  ASSERT_GT(columns, 50);
  const auto highest = [](const QLineSeries* series) {
    double top = -1.0;
    for (const QPointF& p : series->points())
      top = std::max(top, p.y());
    return top;
  };
  EXPECT_LE(waves.Hm0Series()->count(), 2 * columns + 2);
  EXPECT_LE(waves.TpSeries()->count(), 2 * columns + 2);
  EXPECT_GT(waves.Hm0Series()->count(), columns / 2);
  EXPECT_DOUBLE_EQ(highest(waves.Hm0Series()), 9.5);
  // Time ticks with labels along the whole line.
  EXPECT_GE(waves.TimeAxis()->categoriesLabels().size(), 2)
      << columns << ": " << waves.TimeAxis()->categoriesLabels().join(" | ").toStdString();

  // Zoomed to a day around the spike: every segment of it, the spike among them.
  const double spikeAt = table->rows[kSpike].start;
  waves.TimeAxis()->setRange(spikeAt - 43200.0, spikeAt + 43200.0);
  QApplication::processEvents();
  EXPECT_GE(waves.Hm0Series()->count(), 72);
  EXPECT_LE(waves.Hm0Series()->count(), 75);
  EXPECT_DOUBLE_EQ(highest(waves.Hm0Series()), 9.5);
  const QStringList labels = waves.TimeAxis()->categoriesLabels();
  // At least the day it is on, where the labels have room for no more.
  EXPECT_GE(labels.size(), 1) << waves.TimeChart()->plotArea().width();
}

// The texts a chart view draws that are cut short: QtCharts ends them
// with an ellipsis where their room is too small.
QStringList CutTexts(QChartView* view) {
  QStringList cut;
  for (QGraphicsItem* item : view->scene()->items()) {
    auto* text = dynamic_cast<QGraphicsTextItem*>(item);
    if (text == nullptr || !text->isVisible())
      continue;
    const QString shown = text->toPlainText();
    if (shown.contains(QStringLiteral("...")) || shown.contains(QChar(0x2026)))
      cut << shown;
  }
  return cut;
}

struct WaveFitCase {
  const char* name;
  double fontScale;
  int fromType;    // 1: a logger dump, in m; 3: a gauge dump, as recorded
  int lastInView;  // the table's last column shown without scrolling: 2 Tp, 3 Flag
};

void PrintTo(const WaveFitCase& row, std::ostream* out) {
  *out << row.name;
}

class QtSmallScreenWaves : public testing::TestWithParam<WaveFitCase> {};

// At the size the window opens at (on the small screen too, where the suite
// runs this at scale 1.5), and with a larger font: every title, legend
// entry and tick label of both charts whole, and the table's Start, Hm0,
// Tp (and, in the usual font, Flag) shown without scrolling.
TEST_P(QtSmallScreenWaves, ChartsShowEveryLabelWholeAndTheTableItsFirstColumns) {
  // The small screen at scale 1.5 (683 px) leaves no room for a larger font too.
  constexpr int kRoomForALargerFont = 800;
  if (GetParam().fontScale > 1.0 &&
      QGuiApplication::primaryScreen()->availableGeometry().width() < kRoomForALargerFont)
    GTEST_SKIP() << "a larger font is tried on a screen of usual size";
  const QFont before = QApplication::font();
  QFont font = before;
  font.setPointSizeF(font.pointSizeF() * GetParam().fontScale);
  QApplication::setFont(font);
  auto table = std::make_shared<WaveTable>();
  table->ok = true;
  for (int i = 0; i < 3; ++i) {
    WaveRow row;
    row.start = kNoon + 3600.0 * i;
    row.end = row.start + 1199.75;
    row.samples = 4800;
    row.hm0 = 1.25 + 0.1 * i;
    row.tp = 8.0;
    row.suspect = i == 1;
    row.reason = "few-good-readings";
    row.resolution = 1.0 / 64.0;
    row.bandLow = 0.04;
    row.bandHigh = 1.0;
    row.fp = 0.125;
    row.density.assign(129, 0.0f);
    row.density[8] = 2.5f;
    table->rows.push_back(row);
  }
  {
    WaveWindow waves;
    waves.SetResults({{"/data/site.txt", GetParam().fromType, {}, false, Zone()}, table});
    waves.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&waves));
    auto* tabs = waves.findChild<QTabWidget*>();
    for (int tab : {0, 1}) {
      tabs->setCurrentIndex(tab);
      QTest::qWait(100);
      QApplication::processEvents();
      auto* view = qobject_cast<QChartView*>(tabs->currentWidget());
      ASSERT_NE(view, nullptr);
      EXPECT_TRUE(CutTexts(view).isEmpty())
          << tabs->tabText(tab).toStdString() << " at " << view->width()
          << " px: " << CutTexts(view).join(" | ").toStdString();
    }
    QTableWidget* rows = waves.TableView();
    const int flagColumn = 3;
    ASSERT_EQ(rows->horizontalHeaderItem(flagColumn)->text(), QStringLiteral("Flag"));
    EXPECT_TRUE(rows->horizontalHeaderItem(1)->text().startsWith(QStringLiteral("Hm0\n(")));
    const int last = GetParam().lastInView;
    EXPECT_LE(rows->columnViewportPosition(last) + rows->columnWidth(last),
              rows->viewport()->width())
        << "the table is " << rows->width() << " px of " << waves.width();
    EXPECT_EQ(rows->item(1, flagColumn)->text(), QStringLiteral("suspect"));
    EXPECT_EQ(rows->item(1, flagColumn)->toolTip(), QStringLiteral("few-good-readings"));
  }
  QApplication::setFont(before);
}

INSTANTIATE_TEST_SUITE_P(Fonts, QtSmallScreenWaves,
                         testing::Values(WaveFitCase{"LoggerDump", 1.0, 1, 3},
                                         WaveFitCase{"GaugeDump", 1.0, 3, 2},
                                         WaveFitCase{"LargerFont", 1.3, 3, 2}),
                         [](const testing::TestParamInfo<WaveFitCase>& row) {
                           return std::string(row.param.name);
                         });

// The spectrum's axis names the unit the table does.
TEST(QtWaveChart, TheSpectrumIsInTheSquareOfTheTablesUnitPerHertz) {
  WaveWindow waves;
  waves.SetResults({{"/data/site.txt", 1, {}, false, Zone()}, std::make_shared<WaveTable>()});
  EXPECT_EQ(waves.TableView()->horizontalHeaderItem(1)->text(), QStringLiteral("Hm0\n(m)"));
  const auto* density = qobject_cast<QValueAxis*>(waves.SpectrumSeries()->attachedAxes().at(1));
  ASSERT_NE(density, nullptr);
  EXPECT_EQ(density->titleText(), QStringLiteral("S (m²/Hz)"));
}

TEST(QtOutputsMenu, ThePreviewComesFromTheConversionItselfAndFitsTheScreen) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Panel panel;
  const std::string dump = panel.dir.Path("site1.txt");
  WriteWholeFile(dump, SineGaugeDump());
  ASSERT_EQ(ConvertGauge(panel, dump), "Finished All");
  // The CSV goes before the preview is drawn: nothing reads it back.
  std::remove((dump + ".csv").c_str());
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel.extras->PreviewReady(); }, kPatienceMs));
  panel.extras->OpenPreview();
  PreviewWindow* preview = QtTestAccess::Preview(*panel.extras);
  ExpectOnScreen(preview);
  // Over the main window, where the operator looks.
  EXPECT_TRUE(preview->frameGeometry().contains(panel.Window()->frameGeometry().center()));
  ASSERT_TRUE(preview->HasSeries());
  EXPECT_EQ(preview->Note()->text(), QStringLiteral("1,032 readings, 2 date stamps"));
  EXPECT_EQ(preview->MarkSeries()->count(), 2);
  // Two bursts an hour apart: the second starts 3,600 s after the first.
  EXPECT_DOUBLE_EQ(preview->MarkSeries()->at(1).x() - preview->MarkSeries()->at(0).x(), 3600.0);
  EXPECT_EQ(preview->SuggestedSavePath(),
            QString::fromStdString(panel.dir.Path("site1-preview.png")));
  QLocale::setDefault(before);
}

// The preview colours the readings flagged suspect and bad and counts them
// in its legend: first by the conversion's own flags and the sensor-limit
// rule; after an export with a deployment file's `qc` section, by its
// tests too, from the dump's next conversion. Details lists the export's
// tests with their counts.
TEST(QtOutputsMenu, FlaggedReadingsAreColouredCountedAndListedInDetails) {
  Panel panel;
  // Counts of 0 and 4095 at the sensor's limits (three), one field no number.
  std::string dump = zorq_test::WorkedLoggerDump();
  dump.replace(dump.find("2050"), 4, "22x1");
  const std::string path = panel.dir.Path("site2.txt");
  WriteWholeFile(path, dump);
  panel.OpenFrom(path);
  panel.OpenTo(panel.dir.Path("site2.csv"));
  panel.Choose(kCtrlFromType, 2);
  panel.Choose(kCtrlToType, 0);
  ASSERT_EQ(panel.Convert(), "Finished All");
  const auto openPreview = [&] {
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.extras->PreviewReady(); }, kPatienceMs));
    panel.extras->OpenPreview();
    PreviewWindow* preview = QtTestAccess::Preview(*panel.extras);
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview->HasSeries(); }, kPatienceMs));
    return preview;
  };
  PreviewWindow* preview = openPreview();
  EXPECT_EQ(preview->SuspectSeries()->name(), QStringLiteral("suspect (flag 3): 3"));
  EXPECT_EQ(preview->BadSeries()->name(), QStringLiteral("bad (flag 4): 1"));
  // 0 and 4095 side by side may share a pixel column: its lowest and highest.
  EXPECT_GE(preview->SuspectSeries()->count(), 2);
  EXPECT_LE(preview->SuspectSeries()->count(), 3);
  ASSERT_EQ(preview->BadSeries()->count(), 1);
  // Drawn where the reading is: in the first line, the first 3 s.
  EXPECT_GE(preview->BadSeries()->at(0).x(), preview->FirstTime());
  EXPECT_LT(preview->BadSeries()->at(0).x(), preview->FirstTime() + 3.0);

  // Readings above 2.001 m suspect: most of the dump's.
  const std::string deployment = panel.dir.Path("site2.json");
  WriteWholeFile(deployment, R"({"qc": {"reading": {"gross_range_test":
      {"fail_span": [-1, 100], "suspect_span": [0, 2.001]}}}})");
  panel.Item(kMenuExport)->trigger();
  ExportWindow* form = QtTestAccess::Export(*panel.extras);
  form->NetcdfBox()->setChecked(false);
  form->TidyBox()->setChecked(true);
  form->DeploymentEdit()->setText(QString::fromStdString(deployment));
  ASSERT_TRUE(form->Export().ok) << form->Outcome()->text().toStdString();
  const QString details = QtTestAccess::DetailsText(*panel.extras);
  EXPECT_TRUE(
      details.contains(QStringLiteral("Quality flags of the readings, by test:\n"
                                      "gross range: ")))
      << details.toStdString();
  EXPECT_TRUE(details.contains(QStringLiteral("\naggregate: "))) << details.toStdString();
  EXPECT_TRUE(details.contains(QStringLiteral("1 bad (4)"))) << details.toStdString();

  ASSERT_EQ(panel.Convert(), "Finished All");
  preview = openPreview();
  const qlonglong suspect =
      preview->SuspectSeries()->name().section(QStringLiteral(": "), 1).toLongLong();
  // The three at the sensor's limits and those the test flags besides.
  EXPECT_GT(suspect, 3) << preview->SuspectSeries()->name().toStdString();
  EXPECT_EQ(preview->BadSeries()->name(), QStringLiteral("bad (flag 4): 1"));
}

// The form's files are looked at before the dump is read: one missing is
// named with what to do, and the barometer file goes to the export.
TEST(QtExportForm, FilesThatCannotBeReadAreNamedBeforeTheExport) {
  zorq_test::TempDir dir;
  const std::string dump = dir.Path("gauge.txt");
  WriteWholeFile(dump, SineGaugeDump());
  ExportWindow form;
  form.SetSource({dump, 3, {}, false, Zone()});
  form.NetcdfBox()->setChecked(false);
  form.TidyBox()->setChecked(true);
  form.BarometerEdit()->setText(QString::fromStdString(dir.Path("air.csv")));
  EXPECT_EQ(form.Form().barometerFile, dir.Path("air.csv"));
  const ExportResult missing = form.Export();
  EXPECT_FALSE(missing.ok);
  EXPECT_TRUE(form.Outcome()->text().startsWith(QStringLiteral("The barometer file ")))
      << form.Outcome()->text().toStdString();
  EXPECT_TRUE(form.Outcome()->text().contains(QStringLiteral("does not exist")));
  EXPECT_FALSE(FileExists(dir.Path("gauge.tidy.csv")));
  form.BarometerEdit()->setText(QString::fromStdString(dir.Path("")));
  form.Export();
  EXPECT_TRUE(form.Outcome()->text().contains(QStringLiteral("cannot be read")))
      << form.Outcome()->text().toStdString();

  // The barometer file belongs to the dump, as the clock settings do.
  form.SetSource({dir.Path("other.txt"), 3, {}, false, Zone()});
  EXPECT_TRUE(form.BarometerEdit()->text().isEmpty());
  form.SetSource({dump, 3, {}, false, Zone()});
  EXPECT_EQ(form.BarometerEdit()->text(), QString::fromStdString(dir.Path("")));
}

// On a small screen (the suite runs this on Xvfb at 1024×600 with
// QT_SCALE_FACTOR=1.5, and offscreen at 800×600): the panel, Details,
// Preview, Export, Wave statistics, the How-to box and the file dialogs
// all open inside the screen with their buttons on it.
TEST(QtSmallScreen, EveryWindowOfTheProgramFitsTheScreen) {
  Panel panel;
  QWidget* main = panel.shell.ui().PanelWindow(PanelHandle);
  ExpectOnScreen(main);
  const std::string dump = panel.dir.Path("site1.txt");
  WriteWholeFile(dump, SineGaugeDump());
  ASSERT_EQ(ConvertGauge(panel, dump), "Finished All");
  ExpectOnScreen(main);
  // The longest mark beside the status takes two lines rather than widen the window.
  ShowConversionDetails(PanelHandle, kCtrlStatus, "Outcome: Date & Time Error",
                        OutcomeMark{OutcomeKind::Failed, 146000, 146000, 12345});
  QApplication::processEvents();
  ExpectOnScreen(main);
  ExpectButtonsOnScreen(main);
  auto* markText = main->findChild<QLabel*>(QStringLiteral("outcomeMarkText"));
  ASSERT_NE(markText, nullptr);
  EXPECT_EQ(markText->text().count(QLatin1Char('\n')), 1) << markText->text().toStdString();
  EXPECT_GE(markText->width(), markText->sizeHint().width())
      << main->width() << " " << markText->text().toStdString();

  panel.extras->OpenDetails();
  ExpectOnScreen(QtTestAccess::DetailsDialog(*panel.extras));
  ExpectButtonsOnScreen(QtTestAccess::DetailsDialog(*panel.extras));
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel.extras->PreviewReady(); }, kPatienceMs));
  panel.extras->OpenPreview();
  ExpectOnScreen(QtTestAccess::Preview(*panel.extras));
  ExpectButtonsOnScreen(QtTestAccess::Preview(*panel.extras));
  panel.Item(kMenuExport)->trigger();
  ExpectOnScreen(QtTestAccess::Export(*panel.extras));
  ExpectButtonsOnScreen(QtTestAccess::Export(*panel.extras));
  panel.Item(kMenuWaveStatistics)->trigger();
  ExpectOnScreen(QtTestAccess::Waves(*panel.extras));
  ExpectButtonsOnScreen(QtTestAccess::Waves(*panel.extras));

  // The longest hint: a gauge dump whose lines end in LF alone, opened as a
  // logger dump. All of it shows, its remedy too, with the window on the screen.
  std::string lfDump = SineGaugeDump();
  lfDump.erase(std::remove(lfDump.begin(), lfDump.end(), '\r'), lfDump.end());
  const std::string lfPath = panel.dir.Path("lf.txt");
  WriteWholeFile(lfPath, lfDump);
  panel.OpenFrom(lfPath);
  panel.Choose(kCtrlFromType, 1);
  QApplication::processEvents();
  QLabel* hint = QtTestAccess::KindLabel(*panel.extras);
  EXPECT_TRUE(hint->text().contains(QStringLiteral("each LF read as CR LF")))
      << hint->text().toStdString();
  EXPECT_GE(hint->height(), hint->heightForWidth(hint->width())) << hint->text().toStdString();
  ExpectOnScreen(main);
  ExpectButtonsOnScreen(main);
  const QRect inside = main->rect();
  for (QWidget* control : main->findChildren<QWidget*>()) {
    if (!control->isVisibleTo(main) || control->property("zorqId").isNull())
      continue;
    EXPECT_TRUE(inside.contains(QRect(control->mapTo(main, QPoint(0, 0)), control->size())))
        << control->objectName().toStdString() << " is cut off";
  }

  // The modal ones are looked at while they are up, then closed.
  int seen = 0;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
      return;
    ++seen;
    ExpectOnScreen(modal);
    ExpectButtonsOnScreen(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
  });
  watcher.start(50);
  main->findChild<QAction*>(QStringLiteral("actionHowTo"))->trigger();
  EXPECT_EQ(seen, 1);
  panel.shell.UseRealDialogs();
  char buffer[260] = "";
  FileSelectPopup("", "*.csv", "*.txt;*.*", "Open From File", 0, 0, 0, 1, 0, buffer);
  FileSelectPopup("", "*.csv", "*.csv;*.*", "Open To File", 0, 0, 0, 1, 0, buffer);
  EXPECT_EQ(seen, 3);
}

}  // namespace
