// The reading listener: what both converters hand out beside the legacy CSV,
// checked against the CSV itself and against hand-worked times, gaps, notes,
// bursts and temperatures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "convert/readings.h"
#include "convert/status.h"
#include "tests/engine_support.h"

namespace {

using namespace zorq_test;

// One reading as heard, with what its line said about it.
struct Heard {
  int64_t line = 0;
  int64_t byte = 0;
  double value = 0.0;
  ReadingNote note = ReadingNote::kPlain;
  bool stamped = false;
  double time = 0.0;
  int64_t sinceStamp = 0;
  int64_t burst = 0;
  bool stampWentBack = false;
  bool hasTemperature = false;
  double temperature = 0.0;
};

struct Gap {
  int64_t line = 0;
  int64_t byte = 0;
  int count = 0;
  size_t afterReadings = 0;  // readings heard before the gap was told
};

class Recorder final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine& line) override {
    ASSERT_GT(line.count, 0);
    ASSERT_LE(line.count, 12);
    for (int i = 0; i < line.count; ++i) {
      Heard heard;
      heard.line = line.line;
      heard.byte = line.byte;
      heard.value = line.values[i];
      heard.note = line.notes == nullptr ? ReadingNote::kPlain : line.notes[i];
      heard.stamped = line.stamped;
      heard.time = line.LocalTimeOf(i);
      heard.sinceStamp = line.sinceStamp + i;
      heard.burst = line.burst;
      heard.stampWentBack = line.stampWentBack;
      heard.hasTemperature = line.hasTemperature;
      heard.temperature = line.temperature;
      readings.push_back(heard);
    }
    if (line.notes != nullptr) {
      bool anyNote = false;
      for (int i = 0; i < line.count; ++i)
        anyNote = anyNote || line.notes[i] != ReadingNote::kPlain;
      EXPECT_TRUE(anyNote) << "notes given for a line of plain readings";
    }
  }
  void OnFillers(int64_t line, int64_t byte, int count) override {
    gaps.push_back(Gap{line, byte, count, readings.size()});
  }

  std::vector<Heard> readings;
  std::vector<Gap> gaps;
};

ConversionRequest RequestFor(int fromType, ReadingListener* listener) {
  ConversionRequest request;
  request.fromType = fromType;
  request.toType = fromType == 3 ? 1 : 0;
  request.readings = listener;
  return request;
}

// The logger header of engine_support with another sample rate.
std::string LoggerHeaderAt(const std::string& rate) {
  std::string header = LoggerHeader();
  header.replace(25, 2, rate);
  return header;
}

std::string TwelveCounts(int count, int extra) {
  std::string line;
  for (int i = 0; i < 12; ++i)
    line += std::to_string(count + i) + ",";
  return line + std::to_string(extra);
}

constexpr LocalSeconds kLoggerStampSeconds = 1561903530;  // 2019-06-30T14:05:30
constexpr LocalSeconds kGaugeHeaderSeconds = 1561896000;  // 2019-06-30T12:00:00
const std::string kLoggerStamp = "Y19,M06,D30,H14,M05,S30,";

// --- Against the legacy CSV ---

// The readings of the CSV in order: the fields of every f001 record (fillers
// left out, counted apart), or the D1,C1 values.
struct CsvReadings {
  std::vector<double> values;
  int fillers = 0;
};

CsvReadings ReadingsOfLoggerCsv(const std::string& csv) {
  CsvReadings found;
  for (size_t at = csv.find("f001,"); at != std::string::npos && at + 513 <= csv.size();
       at = csv.find("f001,", at + 513)) {
    for (size_t field = 0; field < 60; ++field) {
      const std::string text = csv.substr(at + 31 + 8 * field + 1, 7);
      if (text == "-101.00") {
        ++found.fillers;
      } else {
        found.values.push_back(std::strtod(text.c_str(), nullptr));
      }
    }
  }
  return found;
}

CsvReadings ReadingsOfGaugeCsv(const std::string& csv) {
  CsvReadings found;
  for (size_t at = csv.find("D1,C1,"); at != std::string::npos; at = csv.find("D1,C1,", at + 1))
    found.values.push_back(std::strtod(csv.c_str() + at + 6, nullptr));
  return found;
}

struct CsvCase {
  const char* name;
  int fromType;
  bool corrected;
  std::vector<std::string> lines;
  int readingsNotInCsv;  // the last record's, which the CSV drops
};

class ListenerAgreesWithCsv : public ::testing::TestWithParam<CsvCase> {};

TEST_P(ListenerAgreesWithCsv, SameReadingsInOrderWithinPrintPrecision) {
  const CsvCase& row = GetParam();
  Recorder heard;
  ConversionRequest request = RequestFor(row.fromType, &heard);
  if (row.corrected)
    request.correction = Correction{true, 2.0, 0.5};
  const bool gauge = row.fromType == 3;
  const std::string dump = DumpOf(gauge ? GaugeHeader() : LoggerHeader(), row.lines);
  const EngineRun run = RunEngine(dump, request);
  ASSERT_EQ(run.result.status, kStatusFinished);

  // A listener changes nothing of the output.
  request.readings = nullptr;
  EXPECT_EQ(RunEngine(dump, request).output, run.output);

  const CsvReadings csv = gauge ? ReadingsOfGaugeCsv(run.output) : ReadingsOfLoggerCsv(run.output);
  ASSERT_EQ(heard.readings.size(), csv.values.size() + static_cast<size_t>(row.readingsNotInCsv));
  const double precision = gauge ? 5e-7 : 5e-5;
  for (size_t i = 0; i < csv.values.size(); ++i)
    EXPECT_NEAR(heard.readings[i].value, csv.values[i], precision + 1e-12) << "reading " << i;
  int fillers = 0;
  for (const Gap& gap : heard.gaps)
    fillers += gap.count;
  EXPECT_EQ(fillers, csv.fillers);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ListenerAgreesWithCsv,
    ::testing::Values(
        CsvCase{"LoggerFullRecords",
                2,
                false,
                {kLoggerStamp, TwelveCounts(0, 360), TwelveCounts(2040, 361),
                 TwelveCounts(4084, 362), TwelveCounts(100, 363), TwelveCounts(3000, 364)},
                0},
        CsvCase{"LoggerCorrected",
                2,
                true,
                {kLoggerStamp, TwelveCounts(1, 360), TwelveCounts(2, 361), TwelveCounts(3, 362),
                 TwelveCounts(4, 363), TwelveCounts(4084, 364)},
                0},
        CsvCase{"LoggerOddFieldsAndBrokenOffLines",
                2,
                false,
                {kLoggerStamp, TwelveCounts(7, 360), "1,2,3,", "22x1, 12.5,-3,4096,1e3,,9",
                 "abc,5,6", TwelveCounts(9, 361), TwelveCounts(10, 361)},
                24},
        CsvCase{"LoggerLastRecordShort",
                2,
                false,
                {kLoggerStamp, TwelveCounts(1, 360), TwelveCounts(2, 361)},
                24},
        CsvCase{"GaugePlainAndOdd",
                3,
                false,
                {"1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,", "abc,1e2,-.5,+3,22x1,",
                 "Y19,M06,D30,H13,M00,S00,", "0.5,0.75,"},
                0}),
    [](const ::testing::TestParamInfo<CsvCase>& row) { return std::string(row.param.name); });

// --- Times, gaps, notes, bursts and temperatures ---

TEST(ReadingListener, LoggerTimesAreExactAtEightHertzAndStartAgainAtEachStamp) {
  Recorder heard;
  const std::vector<std::string> lines = {kLoggerStamp,         TwelveCounts(0, 360),
                                          TwelveCounts(0, 360), "Y19,M06,D30,H14,M06,S00,",
                                          TwelveCounts(0, 360), TwelveCounts(0, 360)};
  const EngineRun run = RunEngine(DumpOf(LoggerHeaderAt("08"), lines), RequestFor(2, &heard));
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.readings.size(), 48u);
  const double first = static_cast<double>(kLoggerStampSeconds);
  // Reading 13 is 1.5 s after the stamp, not the whole seconds a record steps by.
  EXPECT_EQ(heard.readings[0].time, first);
  EXPECT_EQ(heard.readings[1].time, first + 0.125);
  EXPECT_EQ(heard.readings[12].time, first + 1.5);
  EXPECT_EQ(heard.readings[23].time, first + 23 / 8.0);
  EXPECT_EQ(heard.readings[24].time, first + 30);
  EXPECT_EQ(heard.readings[24].sinceStamp, 0);
  EXPECT_EQ(heard.readings[47].time, first + 30 + 23 / 8.0);
  for (const Heard& reading : heard.readings) {
    EXPECT_TRUE(reading.stamped);
    EXPECT_EQ(reading.burst, -1);
    EXPECT_FALSE(reading.stampWentBack);
  }
  const LinePlace second = PlaceOf(DumpOf(LoggerHeaderAt("08"), lines), TwelveCounts(0, 360));
  EXPECT_EQ(heard.readings[0].line, second.line);
  EXPECT_EQ(heard.readings[0].byte, second.byte);
}

TEST(ReadingListener, FillersAreAGapAfterTheLinesReadingsAndTakeNoTime) {
  Recorder heard;
  const std::vector<std::string> lines = {kLoggerStamp, TwelveCounts(0, 360), TwelveCounts(0, 360),
                                          "1,2,3,", TwelveCounts(0, 360)};
  const std::string dump = DumpOf(LoggerHeader(), lines);
  const EngineRun run = RunEngine(dump, RequestFor(2, &heard));
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.gaps.size(), 1u);
  const LinePlace broken = PlaceOf(dump, "1,2,3,");
  EXPECT_EQ(heard.gaps[0].line, broken.line);
  EXPECT_EQ(heard.gaps[0].byte, broken.byte);
  EXPECT_EQ(heard.gaps[0].count, 33);
  EXPECT_EQ(heard.gaps[0].afterReadings, 27u);
  // The line after the gap goes on from the 27 readings, at 4 Hz.
  ASSERT_EQ(heard.readings.size(), 39u);
  EXPECT_EQ(heard.readings[27].sinceStamp, 27);
  EXPECT_EQ(heard.readings[27].time, static_cast<double>(kLoggerStampSeconds) + 27 / 4.0);
  // A line that broke off has no temperature of its own.
  EXPECT_FALSE(heard.readings[26].hasTemperature);
  EXPECT_TRUE(heard.readings[0].hasTemperature);
  EXPECT_EQ(heard.readings[0].temperature, 22.5);
}

TEST(ReadingListener, LoggerNotesSayWhatTheCsvCouldNotShow) {
  Recorder heard;
  ConversionRequest request = RequestFor(2, &heard);
  request.correction = Correction{true, 1e7, 0.0};  // count 4095 reads 4e7: wider than a field
  const std::vector<std::string> lines = {kLoggerStamp, "22x1,4095,0,1,1,1,1,1,1,1,1,1,360"};
  const EngineRun run = RunEngine(DumpOf(LoggerHeader(), lines), request);
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.readings.size(), 12u);
  EXPECT_EQ(heard.readings[0].note, ReadingNote::kNotANumber);
  EXPECT_DOUBLE_EQ(heard.readings[0].value, 22 / 4095.0 * 4.0 * 1e7);
  EXPECT_EQ(heard.readings[1].note, ReadingNote::kSaturated);
  EXPECT_DOUBLE_EQ(heard.readings[1].value, 4e7);  // the reading itself, not the cut field
  // Count 0: the sensor's limit, where its readings clip.
  EXPECT_EQ(heard.readings[2].note, ReadingNote::kAtSensorLimit);
  EXPECT_EQ(heard.readings[2].value, 0.0);
  EXPECT_EQ(heard.readings[3].note, ReadingNote::kPlain);
}

// The counts before and after a noted field are taken the fast way, a run
// at a time: they are heard as plain, and the next line's notes are its
// own (its count 0 and 4095 at the sensor's limits).
TEST(ReadingListener, LoggerCountsAroundANotedFieldStayPlain) {
  Recorder heard;
  const std::vector<std::string> lines = {kLoggerStamp, "5,6,7x,8,9,10,11,12,13,14,15,16,360",
                                          "0,1,2,3,4,5,6,7,8,9,4095,11,360"};
  const EngineRun run = RunEngine(DumpOf(LoggerHeader(), lines), RequestFor(2, &heard));
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.readings.size(), 24u);
  for (size_t i = 0; i < heard.readings.size(); ++i) {
    const ReadingNote expected = i == 2               ? ReadingNote::kNotANumber
                                 : i == 12 || i == 22 ? ReadingNote::kAtSensorLimit
                                                      : ReadingNote::kPlain;
    EXPECT_EQ(heard.readings[i].note, expected) << i;
  }
  EXPECT_DOUBLE_EQ(heard.readings[2].value, 7 / 4095.0 * 4.0);
  EXPECT_DOUBLE_EQ(heard.readings[11].value, 16 / 4095.0 * 4.0);
}

TEST(ReadingListener, LoggerReadingsBeforeAnyStampAreUnstamped) {
  Recorder heard;
  const std::vector<std::string> lines = {TwelveCounts(0, 360), kLoggerStamp, TwelveCounts(0, 360)};
  const EngineRun run = RunEngine(DumpOf(LoggerHeader(), lines), RequestFor(2, &heard));
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.readings.size(), 24u);
  EXPECT_FALSE(heard.readings[0].stamped);
  EXPECT_EQ(heard.readings[11].sinceStamp, 11);
  EXPECT_TRUE(heard.readings[12].stamped);
  EXPECT_EQ(heard.readings[12].time, static_cast<double>(kLoggerStampSeconds));
}

TEST(ReadingListener, GaugeBurstsOpenAtTheHeaderAndAtEachStampWithTemperatures) {
  Recorder heard;
  const std::vector<std::string> lines = {"1,2,3,4,5,6,7,8,9,10,11,12,372,", "13,14,",
                                          "Y19,M06,D30,H13,M00,S00,", "15,16,-8",
                                          "1,2,3,4,5,6,7,8,9,10,11,12,-8,"};
  const EngineRun run = RunEngine(DumpOf(GaugeHeader(), lines), RequestFor(3, &heard));
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.readings.size(), 29u);
  EXPECT_EQ(heard.readings[0].burst, 0);
  EXPECT_EQ(heard.readings[0].time, static_cast<double>(kGaugeHeaderSeconds));
  EXPECT_TRUE(heard.readings[0].hasTemperature);
  EXPECT_EQ(heard.readings[0].temperature, 23.25);
  EXPECT_EQ(heard.readings[13].burst, 0);
  EXPECT_EQ(heard.readings[13].time, static_cast<double>(kGaugeHeaderSeconds) + 13 / 4.0);
  EXPECT_FALSE(heard.readings[13].hasTemperature);
  EXPECT_EQ(heard.readings[14].burst, 1);
  EXPECT_EQ(heard.readings[14].sinceStamp, 0);
  EXPECT_EQ(heard.readings[14].time, static_cast<double>(kGaugeHeaderSeconds) + 3600);
  // Three values and no thirteenth field: no temperature.
  EXPECT_EQ(heard.readings[16].value, -8.0);
  EXPECT_FALSE(heard.readings[16].hasTemperature);
  EXPECT_EQ(heard.readings[28].temperature, -0.5);
  EXPECT_EQ(heard.readings[28].sinceStamp, 14);
  EXPECT_TRUE(heard.gaps.empty());
}

struct WentBackRow {
  int fromType;
  const char* secondStamp;
  bool wentBack;
};

class StampWentBack : public ::testing::TestWithParam<WentBackRow> {};

// Twelve readings at 4 Hz reach 3 s past the first stamp.
TEST_P(StampWentBack, WhenEarlierThanTheTimeTheReadingsReached) {
  const WentBackRow& row = GetParam();
  Recorder heard;
  const bool gauge = row.fromType == 3;
  const std::string firstStamp = gauge ? "Y19,M06,D30,H12,M00,S00," : kLoggerStamp;
  const std::string twelve = gauge ? "1,2,3,4,5,6,7,8,9,10,11,12," : TwelveCounts(0, 360);
  const std::vector<std::string> lines = {firstStamp, twelve, row.secondStamp, twelve};
  const EngineRun run = RunEngine(DumpOf(gauge ? GaugeHeader() : LoggerHeader(), lines),
                                  RequestFor(row.fromType, &heard));
  ASSERT_EQ(run.result.status, kStatusFinished);
  ASSERT_EQ(heard.readings.size(), 24u);
  EXPECT_FALSE(heard.readings[0].stampWentBack);
  EXPECT_EQ(heard.readings[12].stampWentBack, row.wentBack);
}

INSTANTIATE_TEST_SUITE_P(Rows, StampWentBack,
                         ::testing::Values(WentBackRow{2, "Y19,M06,D30,H14,M05,S32,", true},
                                           WentBackRow{2, "Y19,M06,D30,H14,M05,S33,", false},
                                           WentBackRow{2, "Y19,M06,D30,H14,M05,S29,", true},
                                           WentBackRow{3, "Y19,M06,D30,H12,M00,S02,", true},
                                           WentBackRow{3, "Y19,M06,D30,H12,M00,S03,", false}));

struct CalendarRow {
  int year, month, day, hour, minute, second;
  LocalSeconds expected;
};

class LocalSecondsRows : public ::testing::TestWithParam<CalendarRow> {};

TEST_P(LocalSecondsRows, CountFromTheEpochWithCarries) {
  const CalendarRow& row = GetParam();
  EXPECT_EQ(LocalSecondsOf(row.year, row.month, row.day, row.hour, row.minute, row.second),
            row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalSecondsRows,
                         ::testing::Values(CalendarRow{2019, 6, 30, 14, 5, 30, 1561903530},
                                           CalendarRow{2020, 2, 29, 23, 59, 59, 1583020799},
                                           CalendarRow{2019, 13, 1, 0, 0, 0, 1577836800},
                                           CalendarRow{2020, 0, 31, 0, 0, 0, 1577750400},
                                           CalendarRow{1969, 12, 31, 0, 0, 0, -86400}));

}  // namespace
