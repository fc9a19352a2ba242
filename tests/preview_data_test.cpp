// The preview's data: the min/max envelope and its columns, and the series
// read from converted logger and gauge CSV.
#include "desktop/preview_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>

#include "tests/test_support.h"

using zorq_test::TempDir;
using zorq_test::WorkedGaugeCsv;
using zorq_test::WorkedLoggerCsv;
using zorq_test::WriteWholeFile;

namespace {

float ColumnsMax(const std::vector<ColumnRange>& columns) {
  float most = -1e30f;
  for (const ColumnRange& c : columns)
    most = std::max(most, c.max);
  return most;
}

}  // namespace

TEST(PreviewEnvelope, ASingleSpikeSurvivesEveryMergeAndEveryColumnCount) {
  // A million quiet points with one spike, added forwards and then with
  // points before the first one, so the range grows both ways.
  MinMaxEnvelope envelope(1024, 0.001);
  std::mt19937 random(7);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  const int spikeAt = 654321;
  for (int i = 0; i < 1000000; ++i)
    envelope.Add(i * 0.25, i == spikeAt ? 500.0f : noise(random));
  for (int i = 1; i <= 1000; ++i)
    envelope.Add(-i * 0.25, -300.0f * (i == 500));
  EXPECT_EQ(envelope.Points(), 1001000);
  EXPECT_EQ(envelope.MaxY(), 500.0f);
  EXPECT_EQ(envelope.MinY(), -300.0f);
  EXPECT_LE(envelope.Lo(), -250.0);
  EXPECT_GT(envelope.Hi(), 999999 * 0.25);
  int64_t counted = 0;
  for (const MinMaxBucket& bucket : envelope.Buckets())
    counted += bucket.count;
  EXPECT_EQ(counted, envelope.Points());

  for (int columns : {1, 7, 300, 1920, 5000}) {
    SCOPED_TRACE(columns);
    const auto ranges =
        DecimateToColumns(envelope, envelope.FirstX(), envelope.LastX() + 1.0, columns);
    ASSERT_FALSE(ranges.empty());
    EXPECT_LE(static_cast<int>(ranges.size()), columns);
    EXPECT_EQ(ColumnsMax(ranges), 500.0f);
    float least = 1e30f;
    for (size_t i = 0; i < ranges.size(); ++i) {
      least = std::min(least, ranges[i].min);
      EXPECT_LE(ranges[i].min, ranges[i].max);
      if (i > 0) {
        EXPECT_LT(ranges[i - 1].x, ranges[i].x);
      }
    }
    EXPECT_EQ(least, -300.0f);
  }
  // Zoomed in on the spike: it is still there; zoomed beside it: it is not.
  const double spikeX = spikeAt * 0.25;
  EXPECT_EQ(ColumnsMax(DecimateToColumns(envelope, spikeX - 2000, spikeX + 2000, 400)), 500.0f);
  EXPECT_LT(ColumnsMax(DecimateToColumns(envelope, 0, spikeX - 2000, 400)), 1.5f);
  EXPECT_TRUE(DecimateToColumns(envelope, 1e9, 2e9, 400).empty());
  EXPECT_TRUE(DecimateToColumns(MinMaxEnvelope(), 0, 1, 400).empty());
}

TEST(PreviewData, LoggerReadingsAtTheirSampleTimesWithoutFillers) {
  const PreviewSeries series = PreviewFromText(PreviewKind::LoggerCsv, WorkedLoggerCsv());
  EXPECT_TRUE(series.error.empty()) << series.error;
  // 60 readings of the first record, 3 of the second (57 fillers left out).
  EXPECT_EQ(series.envelope.Points(), 63);
  EXPECT_EQ(series.xTitle, "seconds after 2019-06-30 14:05:30");
  EXPECT_DOUBLE_EQ(series.envelope.FirstX(), 0.0);
  // The second record starts 15 s later; its third reading is 2 / 4 s on.
  EXPECT_DOUBLE_EQ(series.envelope.LastX(), 15.5);
  EXPECT_FLOAT_EQ(series.envelope.MinY(), 0.0f);
  EXPECT_FLOAT_EQ(series.envelope.MaxY(), 4.0f);
  EXPECT_TRUE(series.marks.empty());

  // Corrected readings are read as written; a record cut short by a failed
  // write and one of a rate above 99 still count what they hold.
  const std::string more =
      "f001,S100,B0,2019-06-30T14:05:30,-1.2345,123.456,-101.00\r\n"
      "f001,S04,B0,2019-06-30T14:0";  // unfinished at the end of the part
  const PreviewSeries other = PreviewFromText(PreviewKind::LoggerCsv, more);
  // Eighteen decimals are the most a value may have; more is no value.
  const PreviewSeries digits = PreviewFromText(
      PreviewKind::GaugeCsv, "D1,C1,.123456789012345678\r\nD1,C1,.1234567890123456789\r\n");
  EXPECT_EQ(digits.envelope.Points(), 1);
  EXPECT_FLOAT_EQ(digits.envelope.MaxY(), 0.123456789f);
  EXPECT_EQ(other.envelope.Points(), 2);
  EXPECT_FLOAT_EQ(other.envelope.MinY(), -1.2345f);
  EXPECT_NEAR(other.envelope.MaxY(), 123.456f, 1e-4);
  EXPECT_DOUBLE_EQ(other.envelope.LastX(), 0.01);
}

TEST(PreviewData, GaugeValuesInOrderWithTheDateStampsMarked) {
  const std::string csv = WorkedGaugeCsv() +
                          "D1,C8,2019-06-30\r\nD1,C9,13:00:00\r\n"
                          "D1,C1,-7.500000\r\nD1,C0,04\r\n";
  const PreviewSeries series = PreviewFromText(PreviewKind::GaugeCsv, csv);
  EXPECT_TRUE(series.error.empty()) << series.error;
  EXPECT_EQ(series.envelope.Points(), 15);
  EXPECT_DOUBLE_EQ(series.envelope.FirstX(), 0.0);
  EXPECT_DOUBLE_EQ(series.envelope.LastX(), 14.0);
  EXPECT_FLOAT_EQ(series.envelope.MaxY(), 10.0f);
  EXPECT_FLOAT_EQ(series.envelope.MinY(), -7.5f);
  ASSERT_EQ(series.markCount, 2);
  ASSERT_EQ(series.marks.size(), 2u);
  EXPECT_DOUBLE_EQ(series.marks[0].x, 0.0);
  EXPECT_FLOAT_EQ(series.marks[0].y, 1.25f);
  EXPECT_EQ(series.marks[0].label, "2019-06-30 12:00:00");
  EXPECT_DOUBLE_EQ(series.marks[1].x, 14.0);
  EXPECT_EQ(series.marks[1].label, "2019-06-30 13:00:00");
  // The header lines and the C4 and C0 records are not values.
  EXPECT_FALSE(PreviewFromText(PreviewKind::GaugeCsv, " Sample rate,04,Hz\r\n").error.empty());
}

TEST(PreviewData, OnlyAFieldThatIsOneDecimalNumberIsDrawn) {
  const auto drawn = [](const std::string& value) {
    const PreviewSeries series = PreviewFromText(PreviewKind::GaugeCsv, "D1,C1," + value + "\r\n");
    return series.envelope.Empty() ? std::optional<float>() : series.envelope.MaxY();
  };
  EXPECT_EQ(drawn("-02.5000"), -2.5f);
  EXPECT_EQ(drawn("5."), 5.0f);
  EXPECT_EQ(drawn("+3"), 3.0f);
  EXPECT_EQ(drawn("123456789012345678"), 123456789012345678.0f);  // 18 digits
  for (const char* refused :
       {"", " 2.5", "2.5 ", "2.5e3", "2.5x", "-", ".", "--1", "0x10", "1234567890123456789"}) {
    EXPECT_FALSE(drawn(refused).has_value()) << '"' << refused << '"';
  }
}

TEST(PreviewData, OnlyThePartOfTheFileThisConversionWroteIsRead) {
  TempDir dir;
  const std::string before = WorkedLoggerCsv();
  const std::string ours = WorkedLoggerCsv().substr(0, 513 + 14);  // the first record
  WriteWholeFile(dir.Path("out.csv"),
                 before + ours + "f001,S04,B0,2019-06-30T14:06:00,09.0000\r\n");
  std::atomic<bool> stop{false};
  const auto begin = static_cast<int64_t>(before.size());
  const PreviewSeries series = ReadPreview(PreviewKind::LoggerCsv, dir.Path("out.csv"), begin,
                                           begin + static_cast<int64_t>(ours.size()), stop);
  EXPECT_EQ(series.envelope.Points(), 60);
  EXPECT_FLOAT_EQ(series.envelope.MaxY(), 4.0f);

  const PreviewSeries missing =
      ReadPreview(PreviewKind::GaugeCsv, dir.Path("none.csv"), 0, 100, stop);
  EXPECT_EQ(missing.error, "The To file could not be read.");
  stop = true;
  EXPECT_EQ(
      ReadPreview(PreviewKind::LoggerCsv, dir.Path("out.csv"), 0, 5000, stop).envelope.Points(), 0);
}

TEST(PreviewData, APartReadInPiecesAtOnceGivesWhatOneReadingGives) {
  TempDir dir;
  // Records and date stamps spread over many lines, with a spike in the middle.
  std::string logger;
  std::string gauge = zorq_test::WorkedGaugeOutputHeader();
  for (int i = 0; i < 400; ++i) {
    std::string record = WorkedLoggerCsv();
    // Each copy of the two records one minute after the one before.
    char time[32];
    std::snprintf(time, sizeof time, "2019-06-30T%02d:%02d:30", 14 + i / 60, i % 60);
    record.replace(record.find("2019-06-30T14:05:30"), 19, time);
    std::snprintf(time, sizeof time, "2019-06-30T%02d:%02d:45", 14 + i / 60, i % 60);
    record.replace(record.find("2019-06-30T14:05:45"), 19, time);
    if (i == 217)
      record.replace(record.find(",04.0000"), 8, ",99.9999");
    logger += record;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "D1,C8,2019-06-30\r\nD1,C9,%02d:%02d:00\r\n", i / 60,
                  i % 60);
    gauge += stamp;
    for (int v = 0; v < 7; ++v)
      gauge += "D1,C1," + std::to_string(i == 300 && v == 3 ? -50 : v) + ".500000\r\nD1,C0,04\r\n";
  }
  WriteWholeFile(dir.Path("logger.csv"), logger);
  WriteWholeFile(dir.Path("gauge.csv"), gauge);
  std::atomic<bool> stop{false};
  for (PreviewKind kind : {PreviewKind::LoggerCsv, PreviewKind::GaugeCsv}) {
    const std::string path = dir.Path(kind == PreviewKind::LoggerCsv ? "logger.csv" : "gauge.csv");
    const auto size =
        static_cast<int64_t>((kind == PreviewKind::LoggerCsv ? logger : gauge).size());
    const PreviewSeries whole = ReadPreview(kind, path, 0, size, stop, 1);
    for (int parts : {2, 3, 7}) {
      SCOPED_TRACE(parts);
      const PreviewSeries pieces = ReadPreview(kind, path, 0, size, stop, parts);
      EXPECT_EQ(pieces.envelope.Points(), whole.envelope.Points());
      EXPECT_EQ(pieces.envelope.MinY(), whole.envelope.MinY());
      EXPECT_EQ(pieces.envelope.MaxY(), whole.envelope.MaxY());
      EXPECT_DOUBLE_EQ(pieces.envelope.FirstX(), whole.envelope.FirstX());
      EXPECT_DOUBLE_EQ(pieces.envelope.LastX(), whole.envelope.LastX());
      EXPECT_EQ(pieces.xTitle, whole.xTitle);
      ASSERT_EQ(pieces.markCount, whole.markCount);
      ASSERT_EQ(pieces.marks.size(), whole.marks.size());
      for (size_t m = 0; m < whole.marks.size(); ++m) {
        EXPECT_DOUBLE_EQ(pieces.marks[m].x, whole.marks[m].x);
        EXPECT_EQ(pieces.marks[m].label, whole.marks[m].label);
      }
      // The spike stays in its place to the width of a column.
      const double from = whole.envelope.FirstX();
      const double to = whole.envelope.LastX();
      const auto a = DecimateToColumns(whole.envelope, from, to, 200);
      const auto b = DecimateToColumns(pieces.envelope, from, to, 200);
      const auto peak = [](const std::vector<ColumnRange>& columns) {
        return std::max_element(
                   columns.begin(), columns.end(),
                   [](const ColumnRange& l, const ColumnRange& r) { return l.max < r.max; })
            ->x;
      };
      EXPECT_NEAR(peak(a), peak(b), (to - from) / 200 * 1.01);
    }
  }
  EXPECT_EQ(ReadPreview(PreviewKind::GaugeCsv, dir.Path("gauge.csv"), 0, 10, stop, 3).marks.size(),
            0u);
}

TEST(PreviewData, BrokenAndRandomLinesAreSkippedWithoutReadingPastThem) {
  // Pieces of records cut anywhere and glued at random: whatever is read
  // must be a value the pieces hold, and nothing is read beyond a line.
  const std::string pieces[] = {"f001,S04,B0,2019-06-30T14:05:30",
                                ",02.0005",
                                ",-101.00",
                                ",123.456",
                                "f001,S",
                                "D1,C1,",
                                "D1,C8,2019-06-30",
                                "D1,C9,",
                                "12:00:00",
                                "-0.5",
                                "\r\n",
                                "\n",
                                ",",
                                "x",
                                "9"};
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i)
      text += pieces[random() % std::size(pieces)];
    if (random() % 2 == 0)
      text = text.substr(0, random() % (text.size() + 1));
    for (PreviewKind kind : {PreviewKind::LoggerCsv, PreviewKind::GaugeCsv}) {
      const PreviewSeries series = PreviewFromText(kind, text);
      if (!series.envelope.Empty()) {
        EXPECT_GE(series.envelope.MinY(), -1e16f) << text;
        EXPECT_LE(series.envelope.MaxY(), 1e16f) << text;
      }
    }
  }
}
