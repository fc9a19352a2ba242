// The report in words: counts, sizes, the time span, the failure and the
// anomalies an operator reads after a conversion.
#include "convert/report_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ReportTextTest, CountsAndSizesReadAsPeopleWriteThem) {
  EXPECT_EQ(GroupedCount(0), "0");
  EXPECT_EQ(GroupedCount(999), "999");
  EXPECT_EQ(GroupedCount(1000), "1,000");
  EXPECT_EQ(GroupedCount(1234567), "1,234,567");
  EXPECT_EQ(GroupedCount(-40000), "-40,000");
  EXPECT_EQ(GroupedCount(INT64_MIN), "-9,223,372,036,854,775,808");
  EXPECT_EQ(ByteSize(1), "1 byte");
  EXPECT_EQ(ByteSize(999), "999 bytes");
  EXPECT_EQ(ByteSize(1000), "1.0 KB");
  EXPECT_EQ(ByteSize(12345678), "12.3 MB");
  // Rounding up to a thousand moves to the next unit.
  EXPECT_EQ(ByteSize(999960), "1.0 MB");
  EXPECT_EQ(ByteSize(1600000000), "1.6 GB");
  // Progress keeps one unit, however large.
  EXPECT_EQ(Megabytes(0), "0.0 MB");
  EXPECT_EQ(Megabytes(1600000000), "1600.0 MB");
}

ConversionResult FinishedLoggerResult() {
  ConversionResult result;
  result.status = 8;
  ConversionReport& report = result.report;
  report.look.kind = DumpKind::Logger;
  report.look.tables = LoggerTables::Type2;
  report.headerRead = true;
  report.logger = LoggerHeaderValues{4, 8, 100, 4.0f};
  report.linesRead = 40000;
  report.commaLinesSkipped = 2;
  report.shortLinesSkipped = 1;
  report.dateStampLines = 3;
  report.recordsWritten = 1204;
  report.bytesRead = 12345678;
  report.bytesWritten = 98100000;
  report.firstRecordTime = "2024-03-01T12:00:00";
  report.lastRecordTime = "2024-03-01T13:00:00";
  return result;
}

TEST(ReportTextTest, SummaryLineSaysRecordsSpanBytesAndAnomalies) {
  ConversionResult result = FinishedLoggerResult();
  EXPECT_EQ(ReportSummaryLine(result),
            "1,204 records written, 2024-03-01T12:00:00 to 2024-03-01T13:00:00; 12.3 MB read, "
            "98.1 MB written");
  result.report.anomalyCounts[static_cast<size_t>(AnomalyKind::NotANumber)] = 3;
  result.report.recordsWritten = 1;
  result.report.lastRecordTime = result.report.firstRecordTime;
  EXPECT_EQ(ReportSummaryLine(result),
            "1 record written, at 2024-03-01T12:00:00; 12.3 MB read, 98.1 MB written; 3 anomalies");
  result.report.recordsWritten = 0;
  result.report.firstRecordTime.clear();
  result.report.lastRecordTime.clear();
  EXPECT_EQ(ReportSummaryLine(result),
            "0 records written; 12.3 MB read, 98.1 MB written; 3 anomalies");
}

TEST(ReportTextTest, DetailsNameTheHeaderTheFailureAndEveryAnomalyKept) {
  ConversionResult result = FinishedLoggerResult();
  result.status = 4;
  result.report.failed = true;
  result.report.failure = {1204, 98765,
                           "the date-stamp line is 18 bytes long; a date stamp needs "
                           "at least 25"};
  result.report.anomalies.push_back({AnomalyKind::NotANumber, 17, 1500, "\"22x1\" read as 22"});
  result.report.anomalies.push_back({AnomalyKind::NotANumber, 18, 1600, "\"abc\" read as 0"});
  result.report.anomalyCounts[static_cast<size_t>(AnomalyKind::NotANumber)] = 250;
  const std::string words = ReportInWords(result, 2);
  EXPECT_NE(words.find("Outcome: Date & Time Error\n"), std::string::npos) << words;
  EXPECT_NE(words.find("sample rate 4 Hz, range code 8, staff code 100, scale 4\n"),
            std::string::npos)
      << words;
  EXPECT_NE(words.find("Records written: 1,204, 2024-03-01T12:00:00 to 2024-03-01T13:00:00\n"),
            std::string::npos)
      << words;
  EXPECT_NE(words.find("Stopped at line 1,204 (byte 98,765): the date-stamp line is 18 bytes long; "
                       "a date stamp needs at least 25\n"),
            std::string::npos)
      << words;
  EXPECT_NE(words.find("Lines read: 40,000 (skipped: 2 starting with a comma, 1 shorter than 3 "
                       "bytes; 3 date stamps)\n"),
            std::string::npos)
      << words;
  EXPECT_NE(words.find("Anomalies: 250\n"), std::string::npos) << words;
  EXPECT_NE(words.find("  line 17 (byte 1,500): not-a-number: \"22x1\" read as 22\n"),
            std::string::npos)
      << words;
  EXPECT_NE(words.find("  ... and 248 more not-a-number\n"), std::string::npos) << words;
  // A request refused before the dump was read names no line.
  result.report.failure = {0, 0, "both files must be open"};
  EXPECT_NE(ReportInWords(result, 2).find("Stopped: both files must be open\n"), std::string::npos);
}

TEST(ReportTextTest, GaugeDetailsSpellOutTheLoggingPlanAndACancel) {
  ConversionResult result;
  result.cancelled = true;
  result.report.look.kind = DumpKind::Gauge;
  result.report.headerRead = true;
  result.report.gauge.date = DateStamp{2024, 3, 1, 12, 0, 5};
  result.report.gauge.sampleRate = 10;
  result.report.gauge.values = GaugeCarry{0, 30, 1, 3, 10};
  const std::string words = ReportInWords(result, 3);
  EXPECT_NE(words.find("Outcome: Cancelled\n"), std::string::npos) << words;
  EXPECT_NE(words.find("Header: date 2024-03-01T12:00:05, sample rate 10 Hz, burst length "
                       "continuous, burst interval 30 min, new file interval 1 day, part variant "
                       "3, type code 10\n"),
            std::string::npos)
      << words;
  EXPECT_NE(words.find("No anomalies.\n"), std::string::npos) << words;
  EXPECT_EQ(words.find("Stopped at"), std::string::npos) << words;
}

}  // namespace
