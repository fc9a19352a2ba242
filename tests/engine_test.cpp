// The engine's report: anomalies with their lines, failure sentences, what
// a header looks like, the counts and record times.
#include <gtest/gtest.h>

#include <cerrno>

#include <string>
#include <vector>

#include "convert/engine.h"
#include "convert/status.h"
#include "runtime/fast_numbers.h"
#include "runtime/files.h"
#include "tests/engine_support.h"
#include "tests/system_call_fakes.h"

namespace {

using namespace zorq_test;

ConversionRequest LoggerRequest(int fromType = 2) {
  ConversionRequest request;
  request.fromType = fromType;
  request.toType = 0;
  return request;
}

ConversionRequest GaugeRequest() {
  ConversionRequest request;
  request.fromType = 3;
  request.toType = 1;
  return request;
}

std::string Counts(int count, int value = 2048) {
  std::string line;
  for (int i = 0; i < count; ++i)
    line += std::to_string(value) + ",";
  return line;
}

const std::string kStamp = "Y19,M06,D30,H14,M05,S30,";

void ExpectAt(const Anomaly& anomaly, const LinePlace& place) {
  EXPECT_EQ(anomaly.line, place.line);
  EXPECT_EQ(anomaly.byte, place.byte);
}

// --- Anomalies ---

TEST(EngineAnomalies, FieldsThatAreNotOneNumberAreReadAsTheFormatSaysAndTold) {
  const std::string bad = "22x1,27!2,abc," + Counts(9) + "360";
  const std::string dump = DumpOf(LoggerHeader(), {kStamp, bad});
  for (const bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast number paths" : "C library");
    SetFastNumberPaths(fast);
    const EngineRun run = RunEngine(dump, LoggerRequest());
    SetFastNumberPaths(true);
    EXPECT_EQ(run.result.status, kStatusFinished);
    const std::vector<Anomaly> found = AnomaliesOf(run.result.report, AnomalyKind::NotANumber);
    ASSERT_EQ(found.size(), 3u);
    for (const Anomaly& anomaly : found)
      ExpectAt(anomaly, PlaceOf(dump, "22x1"));
    EXPECT_EQ(found[0].detail, "\"22x1\" read as 22 (byte 0 of the line)");
    EXPECT_EQ(found[1].detail, "\"27!2\" read as 27 (byte 5 of the line)");
    EXPECT_EQ(found[2].detail, "\"abc\" read as 0 (byte 10 of the line)");
  }
}

TEST(EngineAnomalies, GaugeValueAndC4FieldsThatAreNotNumbers) {
  const std::string line = "1.5,-,2.25x,1,1,1,1,1,1,1,1,1,3q7,";
  const std::string dump = DumpOf(GaugeHeader(), {line, "0.5,0.75,"});
  const EngineRun run = RunEngine(dump, GaugeRequest());
  EXPECT_EQ(run.result.status, kStatusFinished);
  const std::vector<Anomaly> found = AnomaliesOf(run.result.report, AnomalyKind::NotANumber);
  ASSERT_EQ(found.size(), 3u);
  for (const Anomaly& anomaly : found)
    ExpectAt(anomaly, PlaceOf(dump, "1.5,-"));
  EXPECT_EQ(found[0].detail, "\"-\" read as 0 (byte 4 of the line)");
  EXPECT_EQ(found[2].detail, "\"3q7\" read as 3 (byte 30 of the line)");
  // Whole numbers, plain decimals and the line's CR are numbers as they are.
  EXPECT_EQ(run.result.report.recordsWritten, 14);
}

TEST(EngineAnomalies, BrokenOffLineAndThePartialRecordAtTheEnd) {
  const std::string dump =
      DumpOf(LoggerHeader(), {kStamp, Counts(12) + "360", "1,2,3,4,5,", Counts(12) + "361"});
  const EngineRun run = RunEngine(dump, LoggerRequest());
  EXPECT_EQ(run.result.status, kStatusFinished);
  const ConversionReport& report = run.result.report;
  const std::vector<Anomaly> broken = AnomaliesOf(report, AnomalyKind::BrokenOffLine);
  ASSERT_EQ(broken.size(), 1u);
  ExpectAt(broken[0], PlaceOf(dump, "1,2,3"));
  EXPECT_EQ(broken[0].detail, "5 counts; the record closed with 17 readings and fillers");
  const std::vector<Anomaly> dropped = AnomaliesOf(report, AnomalyKind::PartialRecordDropped);
  ASSERT_EQ(dropped.size(), 1u);
  // The record that the end of the input left short began on the last line.
  ExpectAt(dropped[0], PlaceOf(dump, Counts(12) + "361"));
  EXPECT_EQ(dropped[0].detail, "12 readings");
  EXPECT_EQ(report.recordsWritten, 1);
}

TEST(EngineAnomalies, LongLineCutAndUnfinishedLastLine) {
  const std::string longLine = Counts(600, 7) + "1";
  std::string dump = DumpOf(LoggerHeader(), {kStamp, longLine, Counts(12) + "360"}) + "1,2,3";
  const EngineRun run = RunEngine(dump, LoggerRequest());
  EXPECT_EQ(run.result.status, kStatusFinished);
  const std::vector<Anomaly> cut = AnomaliesOf(run.result.report, AnomalyKind::LongLineCut);
  ASSERT_EQ(cut.size(), 1u);
  ExpectAt(cut[0], PlaceOf(dump, "7,7,7"));
  EXPECT_EQ(cut[0].detail, std::to_string(longLine.size() + 1) + " bytes, the first 1024 kept");
  const std::vector<Anomaly> unfinished =
      AnomaliesOf(run.result.report, AnomalyKind::UnfinishedLastLine);
  ASSERT_EQ(unfinished.size(), 1u);
  ExpectAt(unfinished[0], PlaceOf(dump, "1,2,3"));
  EXPECT_EQ(unfinished[0].detail, "5 bytes after the last LF, dropped");
}

TEST(EngineAnomalies, RecordsBeforeAnyStampAndStampsThatGoBack) {
  std::vector<std::string> lines;
  for (int i = 0; i < 5; ++i)
    lines.push_back(Counts(12) + "360");  // one record, before any time is known
  lines.push_back("Y19,M06,D30,H14,M05,S30,");
  for (int i = 0; i < 5; ++i)
    lines.push_back(Counts(12) + "360");
  lines.push_back("Y19,M06,D30,H13,M05,S30,");  // an hour back
  for (int i = 0; i < 5; ++i)
    lines.push_back(Counts(12) + "360");
  const std::string dump = DumpOf(LoggerHeader(), lines);
  const EngineRun run = RunEngine(dump, LoggerRequest());
  EXPECT_EQ(run.result.status, kStatusFinished);
  const ConversionReport& report = run.result.report;
  const std::vector<Anomaly> early = AnomaliesOf(report, AnomalyKind::BeforeFirstDateStamp);
  ASSERT_EQ(early.size(), 1u);
  ExpectAt(early[0], PlaceOf(dump, Counts(12)));
  const std::vector<Anomaly> back = AnomaliesOf(report, AnomalyKind::TimeGoesBackwards);
  ASSERT_EQ(back.size(), 1u);
  ExpectAt(back[0], PlaceOf(dump, "Y19,M06,D30,H13"));
  EXPECT_EQ(back[0].detail, "2019-06-30T13:05:30 after a record at 2019-06-30T14:05:30");
  EXPECT_EQ(report.recordsWritten, 3);
  EXPECT_EQ(report.firstRecordTime, "0000-00-00T00:00:00");
  EXPECT_EQ(report.lastRecordTime, "2019-06-30T13:05:30");
}

TEST(EngineAnomalies, GaugeStampThatGoesBackAndTheRecordTimes) {
  const std::string dump = DumpOf(GaugeHeader(), {"1,2,", "Y19,M06,D30,H13,M00,S00,", "3,4,",
                                                  "Y19,M06,D30,H12,M30,S00,", "5,6,"});
  const EngineRun run = RunEngine(dump, GaugeRequest());
  EXPECT_EQ(run.result.status, kStatusFinished);
  const ConversionReport& report = run.result.report;
  const std::vector<Anomaly> back = AnomaliesOf(report, AnomalyKind::TimeGoesBackwards);
  ASSERT_EQ(back.size(), 1u);
  ExpectAt(back[0], PlaceOf(dump, "Y19,M06,D30,H12,M30"));
  // The header's date stands before the first stamp line.
  EXPECT_EQ(report.firstRecordTime, "2019-06-30T12:00:00");
  EXPECT_EQ(report.lastRecordTime, "2019-06-30T12:30:00");
  EXPECT_EQ(report.recordsWritten, 6);
  EXPECT_EQ(report.dateStampLines, 2);
  EXPECT_EQ(report.dataLines, 3);
}

TEST(EngineAnomalies, SaturatedReadingsAreToldOnceEachWithTheSameBytesBothWays) {
  ConversionRequest request = LoggerRequest();
  request.correction = Correction{true, 1e7, 0.0};  // 4.0 full scale: up to 4e7
  const std::string dump =
      DumpOf(LoggerHeader(), {kStamp, Counts(6, 0) + Counts(6, 4095) + "1", Counts(12, 1) + "1",
                              Counts(12, 1) + "1", Counts(12, 1) + "1", Counts(12, 1) + "1"});
  const EngineRun fast = RunEngine(dump, request);
  SetFastNumberPaths(false);
  const EngineRun plain = RunEngine(dump, request);
  SetFastNumberPaths(true);
  EXPECT_EQ(fast.output, plain.output);
  EXPECT_NE(fast.output.find(",9999999"), std::string::npos);
  for (const EngineRun* run : {&fast, &plain}) {
    const ConversionReport& report = run->result.report;
    EXPECT_EQ(report.anomalyCounts[static_cast<size_t>(AnomalyKind::ReadingSaturated)], 6);
    const std::vector<Anomaly> found = AnomaliesOf(report, AnomalyKind::ReadingSaturated);
    ASSERT_FALSE(found.empty());
    ExpectAt(found[0], PlaceOf(dump, "0,0,0"));
  }
}

TEST(EngineAnomalies, OnlyTheFirstHundredOfAKindAreKeptButAllAreCounted) {
  std::vector<std::string> lines{kStamp};
  for (int i = 0; i < 150; ++i)
    lines.push_back("x," + Counts(11) + "360");
  const EngineRun run = RunEngine(DumpOf(LoggerHeader(), lines), LoggerRequest());
  const ConversionReport& report = run.result.report;
  EXPECT_EQ(report.anomalyCounts[static_cast<size_t>(AnomalyKind::NotANumber)], 150);
  EXPECT_EQ(AnomaliesOf(report, AnomalyKind::NotANumber).size(), 100u);
  EXPECT_EQ(report.anomalies.size(), 100u);
}

TEST(EngineAnomalies, LineNumbersCountTheLineFeedsInsideTheHeaderBytes) {
  // An LF at byte 10 of the header: the line at byte 63 is line 3.
  std::string header = LoggerHeader();
  header[10] = '\n';
  const std::string dump = DumpOf(header, {"abc," + Counts(11) + "1"});
  const EngineRun run = RunEngine(dump, LoggerRequest());
  const std::vector<Anomaly> found = AnomaliesOf(run.result.report, AnomalyKind::NotANumber);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].line, 3);
  EXPECT_EQ(found[0].byte, 63);
}

// --- Counts ---

TEST(EngineCounts, LinesBytesAndRecordsOfTheWorkedLoggerDump) {
  std::string dump = WorkedLoggerDump();
  dump.insert(dump.find("Y19,M06,D30,H14,M05,S30,\r\n", 63), ",,,\r\n\r\n");
  const EngineRun run = RunEngine(dump, LoggerRequest());
  const ConversionReport& report = run.result.report;
  EXPECT_EQ(run.result.status, kStatusFinished);
  EXPECT_EQ(report.linesRead, 9);
  EXPECT_EQ(report.commaLinesSkipped, 1);
  EXPECT_EQ(report.shortLinesSkipped, 1);
  EXPECT_EQ(report.dateStampLines, 1);
  EXPECT_EQ(report.dataLines, 6);
  EXPECT_EQ(report.recordsWritten, 2);
  EXPECT_EQ(report.bytesRead, static_cast<int64_t>(dump.size()));
  EXPECT_EQ(report.bytesWritten, static_cast<int64_t>(run.output.size()));
  EXPECT_EQ(report.firstRecordTime, "2019-06-30T14:05:30");
  EXPECT_EQ(report.lastRecordTime, "2019-06-30T14:05:45");
  EXPECT_TRUE(report.headerRead);
  EXPECT_EQ(report.logger.staffScale, 4.0f);
  EXPECT_EQ(report.logger.sampleRate, 4);
  EXPECT_EQ(report.anomalyCounts[static_cast<size_t>(AnomalyKind::BrokenOffLine)], 1);
}

TEST(EngineCounts, GaugeHeaderValuesAndTheCarriedOnes) {
  // No L: the burst length carried from an earlier gauge conversion stays.
  std::string header = GaugeHeader();
  header[28] = 'Q';
  ConversionRequest request = GaugeRequest();
  request.carried.burstLength = 17;
  const EngineRun refused = RunEngine(DumpOf(header, {"1,2,"}), request);
  EXPECT_EQ(refused.result.status, kStatusHeaderError);
  EXPECT_EQ(refused.result.gauge.values.burstLength, 17);
  EXPECT_EQ(refused.result.gauge.values.burstInterval, 60);
  const EngineRun run = RunEngine(WorkedGaugeDump(), request);
  EXPECT_EQ(run.output, WorkedGaugeCsv());
  const GaugeHeaderValues& gauge = run.result.report.gauge;
  EXPECT_EQ(gauge.sampleRate, 4);
  EXPECT_EQ(gauge.values.burstLength, 10);
  EXPECT_EQ(gauge.values.partVariant, 3);
  EXPECT_EQ(gauge.values.loggerTypeCode, 10);
  EXPECT_EQ(gauge.date.year, 2019);
  EXPECT_EQ(gauge.date.hour, 12);
}

// --- Failures ---

struct FailureCase {
  const char* name;
  std::string dump;
  ConversionRequest request;
  uint8_t status;
  std::string lineStart;  // empty: the header, line 1 at byte 0
  std::string reason;
};

TEST(EngineFailures, EachFailureSaysWhereAndWhyInTheOperatorsWords) {
  std::string noC = LoggerHeader();
  noC[44] = ' ';
  std::string rate0 = LoggerHeader();
  rate0.replace(25, 2, "00");
  const std::string shortStamp = "Y19,M06,D30,H15,M05,S";
  const FailureCase cases[] = {
      {"short stamp", DumpOf(LoggerHeader(), {kStamp, Counts(12) + "1", shortStamp}),
       LoggerRequest(), kStatusDateTimeError, shortStamp,
       "the date-stamp line is 22 bytes long; a date stamp needs at least 25"},
      {"stamp letter", DumpOf(GaugeHeader(), {"1,2,", "Y19,M06,X30,H14,M05,S30,"}), GaugeRequest(),
       kStatusDateTimeError, "Y19,M06,X30",
       "no D at byte 8 of the date-stamp line: the day is missing"},
      {"no calendar time", DumpOf(LoggerHeader(), {"Y19,M02,D30,H14,M05,S30,"}), LoggerRequest(),
       kStatusDateTimeError, "Y19,M02",
       "the date stamp 2019-02-30T14:05:30 is not a calendar time"},
      {"no C", DumpOf(noC, {kStamp}), LoggerRequest(), kStatusHeaderError, "",
       "no C at byte 44 of the header: the staff code is missing"},
      {"rate 0", DumpOf(rate0, {kStamp}), LoggerRequest(), kStatusHeaderError, "",
       "the header gives sample rate 0; it must be 1 to 99"},
      {"staff miss", DumpOf(LoggerHeader(8, 150), {kStamp}), LoggerRequest(1),
       kStatusStaffLengthError, "",
       "range code 8 with staff code 150 is not in the table of logger type 1"},
      {"other table", DumpOf(LoggerHeader(0, 133), {kStamp}), LoggerRequest(1),
       kStatusStaffLengthError, "",
       "range code 0 with staff code 133 is not in the table of logger type 1; this looks like a "
       "logger dump of type 2: choose From type 2 and To type 0"},
      {"type 9", DumpOf(GaugeHeader(9), {"1,2,"}), GaugeRequest(), kStatusFromTypeError, "",
       "the header gives type code 9; gauge dumps are type 10"},
      {"gauge as logger", WorkedGaugeDump(), LoggerRequest(), kStatusHeaderError, "",
       "no A at byte 41 of the header: the range code is missing; this looks like a gauge dump: "
       "choose From type 3 and To type 1"},
      {"logger as gauge", WorkedLoggerDump(), GaugeRequest(), kStatusFromTypeError, "",
       "no T at byte 49 of the header, and the type code kept from the last gauge conversion is "
       "0; gauge dumps are type 10; this looks like a logger dump of type 2: choose From type 2 "
       "and To type 0"},
      {"short block", std::string("Y19,M06"), LoggerRequest(), kStatusHeaderError, "",
       "the dump's first block holds 7 bytes; a header needs at least 129"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const EngineRun run = RunEngine(c.dump, c.request);
    const ConversionReport& report = run.result.report;
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(report.failure.reason, c.reason);
    const LinePlace place = c.lineStart.empty() ? LinePlace{1, 0} : PlaceOf(c.dump, c.lineStart);
    EXPECT_EQ(report.failure.line, place.line);
    EXPECT_EQ(report.failure.byte, place.byte);
  }
}

TEST(EngineFailures, FailedWritesAndReadsSayWhichLine) {
  const std::string dump =
      DumpOf(LoggerHeader(), {kStamp, Counts(12) + "1", Counts(12) + "1", Counts(12) + "1",
                              Counts(12) + "1", Counts(12) + "1"});
  SetWriteFaultHook([](long) { return true; });
  const EngineRun written = RunEngine(dump, LoggerRequest());
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(written.result.status, kStatusWriteError);
  EXPECT_EQ(written.result.report.failure.reason,
            "the To file did not take the f001 record that this line completes");
  // The fifth data line, line 7, completes the record.
  EXPECT_EQ(written.result.report.failure.line, 7);
  EXPECT_EQ(written.result.report.failure.byte, static_cast<int64_t>(dump.rfind(Counts(12) + "1")));

  // The second read of the dump fails: status 1 at the line it was for.
  std::string longDump = LongLoggerDump(5000);
  EngineRun read;
  {
    FakeSystemCalls fakes;  // one read(2) per 1024-byte block
    fakes.readLimit = 1024;
    fakes.fault = FailCallOfKind(SystemCall::Read, 1, EIO);
    read = RunEngine(longDump, LoggerRequest());
  }
  EXPECT_EQ(read.result.status, kStatusFileError);
  EXPECT_EQ(read.result.report.failure.reason, "the From file could not be read after byte 1024");
  const int64_t byte = read.result.report.failure.byte;
  ASSERT_GT(byte, 0);
  EXPECT_EQ(longDump[static_cast<size_t>(byte - 1)], '\n');
  EXPECT_EQ(read.result.report.failure.line,
            1 + std::count(longDump.begin(), longDump.begin() + byte, '\n'));
}

TEST(EngineFailures, GaugeWriteFailureInTheHeaderAndInALine) {
  SetWriteFaultHook([](long) { return true; });
  const EngineRun header = RunEngine(WorkedGaugeDump(), GaugeRequest());
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(header.result.status, kStatusWriteError);
  EXPECT_EQ(header.result.report.failure.reason, "the To file did not take the output header");
  EXPECT_EQ(header.result.report.failure.line, 1);

  int writes = 0;
  SetWriteFaultHook([&writes](long) { return ++writes == 9; });  // after the 7 header lines
  const std::string dump = DumpOf(GaugeHeader(), {"Y19,M06,D30,H12,M00,S00,", "1,2,"});
  const EngineRun line = RunEngine(dump, GaugeRequest());
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(line.result.status, kStatusWriteError);
  EXPECT_EQ(line.result.report.failure.reason, "the To file did not take the records of this line");
  const LinePlace place = PlaceOf(dump, "1,2,");
  EXPECT_EQ(line.result.report.failure.line, place.line);
  EXPECT_EQ(line.result.report.failure.byte, place.byte);
}

// --- What a header looks like ---

TEST(EngineLook, HeadersAreJudgedFromTheirLetters) {
  struct Case {
    std::string header;
    DumpKind kind;
    LoggerTables tables;
    const char* description;
    int fromType;
  };
  const Case cases[] = {
      {GaugeHeader(), DumpKind::Gauge, LoggerTables::Neither, "gauge dump", 3},
      {LoggerHeader(3, 0), DumpKind::Logger, LoggerTables::Type1, "logger dump, type 1", 1},
      {LoggerHeader(0, 133), DumpKind::Logger, LoggerTables::Type2, "logger dump, type 2", 2},
      {LoggerHeader(2, 5), DumpKind::Logger, LoggerTables::Both, "fits both logger types", 0},
      {LoggerHeader(8, 150), DumpKind::Logger, LoggerTables::Neither,
       "logger dump whose codes neither table holds", 0},
      {"X" + GaugeHeader().substr(1), DumpKind::Unknown, LoggerTables::Neither,
       "not a dump this program knows", 0},
      {GaugeHeader(11), DumpKind::Gauge, LoggerTables::Neither, "gauge dump of type code 11", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const std::string block = DumpOf(c.header, {});
    const DumpLook look = LookAtHeader(block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(look.kind, c.kind);
    EXPECT_EQ(look.tables, c.tables);
    EXPECT_EQ(DescribeDumpLook(look), c.description);
    EXPECT_EQ(FromTypeForLook(look), c.fromType);
  }
  const std::string block = DumpOf(LoggerHeader(8, 150), {});
  const DumpLook look = LookAtHeader(block.data(), static_cast<int>(block.size()));
  EXPECT_EQ(look.rangeCode, 8);
  EXPECT_EQ(look.staffCode, 150);
  const std::string gauge = DumpOf(GaugeHeader(), {});
  const DumpLook gaugeLook = LookAtHeader(gauge.data(), static_cast<int>(gauge.size()));
  EXPECT_EQ(gaugeLook.sampleRate, 4);
  EXPECT_EQ(gaugeLook.burstMinutes, 10);
  EXPECT_EQ(look.burstMinutes, 0);  // a logger header has none
  // Too short for a header.
  EXPECT_EQ(LookAtHeader(block.data(), 128).kind, DumpKind::Unknown);
  EXPECT_EQ(ToTypeForFromType(1), 0);
  EXPECT_EQ(ToTypeForFromType(3), 1);
  EXPECT_EQ(ToTypeForFromType(4), -1);
}

// Each look that will not convert as it is says what is wrong and what to
// do; one that converts says nothing.
TEST(EngineLook, ProblemsSayWhatIsWrongAndWhatToDo) {
  struct Case {
    std::string block;
    std::vector<std::string> saying;  // empty: no problem
  };
  auto lfAlone = [](std::string dump) {
    std::string out;
    for (char c : dump) {
      if (c != '\r')
        out += c;
    }
    return out;
  };
  const Case cases[] = {
      {DumpOf(GaugeHeader(), {"Y19,M06,D30,H12,M00,S00,"}), {}},
      {DumpOf(LoggerHeader(3, 0), {}), {}},
      {"", {"it is empty", "open the text dump"}},
      {std::string("Y\0abc", 5), {"not text (byte 1 is 0x00)"}},
      {"Y24,M03\r\n", {"only 9 bytes", "129"}},
      {"Q" + DumpOf(GaugeHeader(), {}).substr(1), {"starts with 'Q'"}},
      {DumpOf(LoggerHeader(8, 150), {}),
       {"range code 8 with staff code 150", "\"Staff Length Error\""}},
      {DumpOf(LoggerHeader(2, 5), {}), {"in both logger tables", "choose the logger type"}},
      {DumpOf(GaugeHeader(11), {}), {"type code 11", "\"Convert From File Type Error\""}},
      {lfAlone(DumpOf(LoggerHeader(0, 133), {"Y19,M06,D30,H12,M00,S00,"})),
       {"LF alone", "each LF read as CR LF"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block.substr(0, 40));
    const DumpLook look = LookAtHeader(c.block.data(), static_cast<int>(c.block.size()));
    const std::string problem = DumpLookProblem(look);
    if (c.saying.empty()) {
      EXPECT_EQ(problem, "");
    }
    for (const std::string& part : c.saying)
      EXPECT_NE(problem.find(part), std::string::npos) << problem;
  }
  // Nothing looked at (no From file): nothing described, nothing wrong.
  EXPECT_EQ(DescribeDumpLook(DumpLook{}), "");
  EXPECT_EQ(DumpLookProblem(DumpLook{}), "");
}

// A dump whose CRs were taken out fails as before, and says why; read with
// each LF as CR LF it converts to the very bytes of the dump as written.
TEST(EngineLfLineEnds, ReadAsCrLfConvertsAsTheInstrumentWroteIt) {
  for (const bool gauge : {false, true}) {
    SCOPED_TRACE(gauge ? "gauge" : "logger");
    const std::string crlf = gauge ? WorkedGaugeDump() : RepeatedWorkedLoggerDump(40);
    std::string lf;
    for (char c : crlf) {
      if (c != '\r')
        lf += c;
    }
    const ConversionRequest request = gauge ? GaugeRequest() : LoggerRequest(2);
    const EngineRun asWritten = RunEngine(crlf, request);
    ASSERT_EQ(asWritten.result.status, kStatusFinished);
    ConversionRequest adapted = request;
    adapted.lfLineEnds = true;
    const EngineRun lfRead = RunEngine(lf, adapted);
    EXPECT_EQ(lfRead.result.status, kStatusFinished);
    EXPECT_EQ(lfRead.output, asWritten.output);
    EXPECT_TRUE(lfRead.result.report.look.lfLineEnds);
    EXPECT_FALSE(asWritten.result.report.look.lfLineEnds);
    // Counted in the file's bytes, not in the CRs put in.
    EXPECT_EQ(lfRead.result.report.bytesRead, static_cast<int64_t>(lf.size()));
    EXPECT_EQ(lfRead.result.report.linesRead, asWritten.result.report.linesRead);

    // Asked of a dump with CR LF, the reading changes nothing.
    const EngineRun crlfAdapted = RunEngine(crlf, adapted);
    EXPECT_EQ(crlfAdapted.output, asWritten.output);
    EXPECT_EQ(crlfAdapted.result.report.bytesRead, static_cast<int64_t>(crlf.size()));

    const EngineRun plain = RunEngine(lf, request);
    if (plain.result.status != kStatusFinished) {
      EXPECT_NE(plain.result.report.failure.reason.find("LF alone"), std::string::npos)
          << plain.result.report.failure.reason;
    }
  }
}

TEST(EngineLook, ADumpFileIsJudgedFromItsFirstBlock) {
  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), WorkedGaugeDump());
  EXPECT_EQ(LookAtDumpFile(dir.Path("gauge.txt").c_str()).kind, DumpKind::Gauge);
  EXPECT_EQ(LookAtDumpFile(dir.Path("missing.txt").c_str()).kind, DumpKind::Unknown);
  EXPECT_STREQ(AnomalyKindName(AnomalyKind::ReadingSaturated), "reading-saturated");
  EXPECT_STREQ(AnomalyKindName(AnomalyKind::BeforeFirstDateStamp), "before-first-date-stamp");
}

}  // namespace
