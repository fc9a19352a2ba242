// The conversion engine: one entry that converts a dump from one open file
// into another, with every input given explicitly and every result handed
// back. It keeps no state between calls and touches no process-wide value,
// so conversions may run in several threads at once (on different sources
// and sinks).
//
// The shell copies its globals into a request and the results back out; the
// command line fills a request from its options. Both reach the engine
// through the one dispatch in convert/dispatch.h.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/date_stamp.h"
#include "convert/readings.h"
#include "runtime/byte_streams.h"
#include "runtime/time_zone.h"

// --- What a dump's header looks like ---

enum class DumpKind { Unknown, Logger, Gauge };

// For a logger header: which of the two scale tables hold its range and
// staff codes (From type 1 uses one table, From type 2 the other).
enum class LoggerTables { Neither, Type1, Type2, Both };

// The type code a gauge header must give after its "T".
inline constexpr int kGaugeTypeCode = 10;

struct DumpLook {
  bool looked = false;  // false: no header was looked at (no From file yet)
  DumpKind kind = DumpKind::Unknown;
  LoggerTables tables = LoggerTables::Neither;  // logger headers only
  int rangeCode = 0;                            // logger headers only
  int staffCode = 0;                            // logger headers only
  int typeCode = kGaugeTypeCode;                // gauge headers only; 0 when there is no "T"
  // The header's sample rate in Hz, both kinds; 0 when it has no "F" at its
  // place. The conversion itself refuses a rate it cannot use.
  int sampleRate = 0;
  // A gauge header's burst length in minutes; 0 when it has no "L" at its
  // place.
  int burstMinutes = 0;
  // The first block has LFs and no CR before any of them: the dump's CRs
  // were taken out (a Unix tool, a transfer in text mode).
  bool lfLineEnds = false;
  // Why an Unknown header is no dump, in the operator's words ("it is empty").
  std::string notADumpReason;
};

// Judges a header from the letters at their offsets in the first block
// (`length` bytes at `block`; fewer than 129 bytes, or no "Y" at byte 0,
// is Unknown).
DumpLook LookAtHeader(const char* block, int length);

// True when `head` has LFs and no CR before any of them.
bool LineEndsAreLfAlone(std::string_view head);

// Why `head` (a file's first block) is no dump's start: "it is empty",
// "it holds only 50 bytes, ...", "it is not text (byte 3 is 0x00)", ...
std::string WhyNotADump(std::string_view head);

// Reads the first block of the file at `path` and judges it. Unknown when
// the file cannot be read. The read goes beside the file layer: a look is
// no part of a conversion, and must not use up the faults a test has set
// for one.
DumpLook LookAtDumpFile(const char* path);

// "gauge dump", "logger dump, type 2", "logger dump, type 1",
// "fits both logger types", "logger dump whose codes neither table holds",
// or "not a dump this program knows"; "gauge dump of type code 11" for a
// gauge header of a type that does not convert. Empty when nothing was
// looked at.
std::string DescribeDumpLook(const DumpLook& look);

// What a dump whose CRs were taken out is told, in the failure sentence too.
inline constexpr const char* kLfLineEndsProblem =
    "its lines end in LF alone, not CR LF (a transfer in text mode or a Unix tool took the CRs "
    "out), so it does not convert as it is; convert it with each LF read as CR LF";

// What is wrong with a dump that looks like this and what to do about it,
// in the operator's words, when it will not convert as it is (or not with
// the From type it fits); empty when nothing is wrong.
std::string DumpLookProblem(const DumpLook& look);

// The From and To types in the operator's words: "logger dump, type 1",
// "gauge dump"; "logger CSV", "gauge CSV". "type N" for any other.
std::string FromTypeInWords(int fromType);
std::string ToTypeInWords(int toType);

// The From type the header fits: 1, 2 or 3; 0 when it fits none or both
// logger types.
int FromTypeForLook(const DumpLook& look);

// The To type that goes with a From type: 0 for 1 and 2, 1 for 3, -1 else.
int ToTypeForFromType(int fromType);

// --- Inputs ---

struct Correction {
  bool on = false;
  double gain = 1.0;    // M
  double offset = 0.0;  // B
};

// Gauge header values that a later gauge header keeps when its letter is
// missing; the shell carries them from one conversion to the next.
struct GaugeCarry {
  int burstLength = 0;
  int burstInterval = 0;
  int newFileInterval = 0;
  int partVariant = 0;
  int loggerTypeCode = 0;
};

struct LoggerHeaderValues {
  int sampleRate = 1;
  int rangeCode = 0;
  int staffCode = 0;
  float staffScale = 1.0f;
};

struct ConversionRequest {
  int fromType = 0;  // 1, 2 logger dumps; 3 gauge dump
  int toType = 0;    // 0 logger CSV; 1 gauge CSV
  Correction correction;
  ByteSource* from = nullptr;  // positioned at its start; not owned
  ByteSink* to = nullptr;      // positioned at its end; not owned
  GaugeCarry carried;
  // What a header value whose letter is missing keeps: the sample rate (of
  // either kind of dump), range and staff codes and scale as the shell has
  // them (the rate 1 and the scale 1.0 after its reset).
  LoggerHeaderValues startValues;
  // Called with the bytes of the dump read so far and the dump's size
  // (-1 when it is not known, as for a pipe): at least every 4 MB and at
  // most every 64 KB of input, and once at the end.
  std::function<void(int64_t bytesRead, int64_t fromSize)> progress;
  // Asked at least every 64 KB of input; true stops the conversion, and the
  // To file is cut back to the length it had when the conversion began.
  std::function<bool()> cancelRequested;
  // When set, told of every reading the conversion takes from the dump, in
  // order (see convert/readings.h). Not owned.
  ReadingListener* readings = nullptr;
  // Reads each LF of the dump as CR LF when its first block has LFs and no
  // CR before any of them: a dump whose CRs were taken out converts as the
  // instrument wrote it, one with CR LF as it always did.
  bool lfLineEnds = false;
  // The zone the dump's clock was set in: its date stamps are local times
  // there. The process's TZ plays no part.
  Zone zone;
};

// --- Results ---

enum class AnomalyKind {
  NotANumber,            // a field that is not one number ("22x1", "abc", "-")
  BrokenOffLine,         // a logger line that closed its record early with fillers
  LongLineCut,           // a line longer than the line buffer
  PartialRecordDropped,  // readings at the end that no record carried
  UnfinishedLastLine,    // bytes after the last LF
  BeforeFirstDateStamp,  // records written before any time was known
  TimeGoesBackwards,     // a date stamp earlier than the records had reached
  ReadingSaturated,      // a reading wider than its field
};
inline constexpr int kAnomalyKinds = 8;
// The first this many anomalies of each kind are kept; all are counted.
inline constexpr int kAnomaliesKeptPerKind = 100;

// "not-a-number", "broken-off-line", ...
const char* AnomalyKindName(AnomalyKind kind);
// The reports' words for a look at a header: "logger", "gauge",
// "unknown"; "type1", "type2", "both", "neither".
const char* DumpKindName(DumpKind kind);
const char* LoggerTablesName(LoggerTables tables);

// Line N is the line that follows N-1 LF bytes of the file (the header line
// is line 1); its byte is the offset of the line's first byte in the file.
struct Anomaly {
  AnomalyKind kind = AnomalyKind::NotANumber;
  int64_t line = 0;
  int64_t byte = 0;
  std::string detail;  // for example "22x1 read as 22", "7 readings"

  bool operator==(const Anomaly&) const = default;
};

struct ConversionFailure {
  int64_t line = 0;
  int64_t byte = 0;
  // A sentence in the operator's words, for example "the date-stamp line is
  // 18 bytes long; a date stamp needs at least 25".
  std::string reason;
};

struct GaugeHeaderValues {
  DateStamp date;
  int sampleRate = 1;
  GaugeCarry values;  // burst length and interval, new-file interval, ...
};

struct ConversionReport {
  DumpLook look;  // what the header looked like
  bool headerRead = false;
  LoggerHeaderValues logger;  // From types 1 and 2
  GaugeHeaderValues gauge;    // From type 3

  int64_t linesRead = 0;          // every line after the header, skipped ones too
  int64_t commaLinesSkipped = 0;  // lines that start with a comma
  int64_t shortLinesSkipped = 0;  // logger lines shorter than 3 bytes
  int64_t dateStampLines = 0;
  int64_t dataLines = 0;  // the other lines not skipped
  // f001 records, or D1,C1 value records: whole ones that the To file or
  // pipe took, not those formatted (a full disk, a reader that went away).
  int64_t recordsWritten = 0;
  int64_t bytesRead = 0;
  int64_t bytesWritten = 0;  // that the To file or pipe took
  // Bytes of a record that reached the output only in part: the output
  // ends in a torn record. 0 when none.
  int64_t tornRecordBytes = 0;
  // As written in the output ("2024-03-01T12:00:00"), empty when none.
  std::string firstRecordTime;
  std::string lastRecordTime;

  bool failed = false;  // a status other than 8 (and not cancelled)
  ConversionFailure failure;

  std::vector<Anomaly> anomalies;  // the first kAnomaliesKeptPerKind of each kind
  std::array<int64_t, kAnomalyKinds> anomalyCounts{};
};

struct ConversionResult {
  uint8_t status = 0;  // 0 to 8, see status.h
  bool cancelled = false;
  // The header values the conversion read, for the shell's globals. The
  // sample rate is 1 and the scale 1.0 when the header was not read.
  LoggerHeaderValues logger;
  GaugeHeaderValues gauge;  // `values` holds the carried values where a letter was missing
  ConversionReport report;
};

// Converts with the converter that fits the request's From and To types:
// a logger dump (1, 2) into the logger CSV (0), a gauge dump (3) into the
// gauge CSV (1). Types that do not fit are the caller's to refuse (status 6
// belongs to the dispatch); here they give status 0 and convert nothing.
ConversionResult RunConversion(const ConversionRequest& request);

// A request's result before any converter has run: the header values it
// starts from, as a failure before the conversion reports them.
ConversionResult UnconvertedResult(const ConversionRequest& request);

// One converter whatever the types: the logger converter (whose scale table
// refuses From types other than 1 and 2 with status 3) or the gauge one.
ConversionResult RunLoggerConversion(const ConversionRequest& request);
ConversionResult RunGaugeConversion(const ConversionRequest& request);
