#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "convert/dump_types.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/headless_ui.h"
#include "runtime/ui.h"

namespace zorq_fuzz {

void Fail(const char* format, ...) {
  std::fputs("invariant violated: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::abort();
}

void InitEnvironment() {
  DumpClockZone = Zone();  // UTC: the panel's conversions read their stamps there
}

MemoryFile::MemoryFile(const char* name, const void* bytes, size_t size) {
  fd_ = memfd_create(name, MFD_CLOEXEC);
  ZORQ_FUZZ_CHECK(fd_ >= 0, "memfd_create failed");
  const char* p = static_cast<const char*>(bytes);
  size_t left = size;
  while (left > 0) {
    const ssize_t put = ::write(fd_, p, left);
    ZORQ_FUZZ_CHECK(put > 0, "writing the memory file failed");
    p += put;
    left -= static_cast<size_t>(put);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() {
  if (fd_ >= 0)
    ::close(fd_);
}

std::string MemoryFile::Contents() const {
  std::string bytes;
  char chunk[65536];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(fd_, chunk, sizeof chunk, offset);
    ZORQ_FUZZ_CHECK(got >= 0, "reading the memory file failed");
    if (got == 0)
      break;
    bytes.append(chunk, static_cast<size_t>(got));
    offset += got;
  }
  return bytes;
}

HeadlessUi& Panel() {
  static HeadlessUi* panel = [] {
    RegisterShellCallbacks();
    auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
    HeadlessUi* ui = backend.get();
    InstallUiBackend(std::move(backend));
    return ui;
  }();
  if (PanelHandle <= 0) {
    PanelHandle = LoadPanel(0, "ZORQConvert.uir", 1);
    ZORQ_FUZZ_CHECK(PanelHandle > 0, "the headless panel did not load");
  }
  return *panel;
}

HeadlessUi& ResetKeepingPanel() {
  HeadlessUi& panel = Panel();
  const int handle = PanelHandle;
  ResetSharedState();
  PanelHandle = handle;
  return panel;
}

ConversionRun RunConversion(const uint8_t* dump, size_t size, int fromType, int toType,
                            const std::string& prior) {
  HeadlessUi& ui = Panel();
  ui.ClearPopups();
  MemoryFile from("from", dump, size);
  MemoryFile to("to", prior.data(), prior.size());

  FileFromHandle = OpenFile(from.Path().c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  FileToHandle = OpenFile(to.Path().c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ZORQ_FUZZ_CHECK(FileFromHandle > 0 && FileToHandle > 0, "the memory files did not open");
  FileFromOpen = 1;
  FileToOpen = 1;
  ui.SetValue(kCtrlFromType, fromType);
  ui.SetValue(kCtrlToType, toType);

  DoTheConvert();

  ConversionRun run;
  run.status = ConvertState;
  run.report = LastConversionReport;
  FileFromOpen = 0;
  FileToOpen = 0;
  CloseFile(FileFromHandle);
  CloseFile(FileToHandle);
  ui.ClearPopups();

  const std::string written = to.Contents();
  ZORQ_FUZZ_CHECK(written.size() >= prior.size() && written.compare(0, prior.size(), prior) == 0,
                  "the To file lost what it held before the conversion");
  run.output = written.substr(prior.size());
  return run;
}

bool SplitCrLfLines(const std::string& text, std::vector<std::string>* lines) {
  lines->clear();
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos || end + 1 >= text.size())
      return false;
    if (text[end] != '\r' || text[end + 1] != '\n')
      return false;
    lines->push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

namespace {

bool SameAnomalies(const ConversionReport& a, const ConversionReport& b) {
  return a.anomalies == b.anomalies && a.anomalyCounts == b.anomalyCounts;
}

// 1 + the LFs before `byte`.
int64_t LineNumberAt(const uint8_t* dump, int64_t byte) {
  int64_t number = 1;
  for (int64_t i = 0; i < byte; ++i)
    number += dump[i] == '\n';
  return number;
}

// The byte after the first LF from `byte + 1` on (a line's first byte is
// taken unseen), or `size` when there is none.
size_t LineEnd(const uint8_t* dump, size_t size, size_t byte) {
  for (size_t i = byte + 1; i < size; ++i) {
    if (dump[i] == '\n')
      return i;
  }
  return size;
}

// `byte` is the first byte of a line the reader hands over: the header at 0,
// the first line at 63, any other after an LF.
void CheckPlace(const char* what, int64_t line, int64_t byte, const uint8_t* dump, size_t size) {
  ZORQ_FUZZ_CHECK(byte >= 0 && static_cast<size_t>(byte) < size, "%s at byte %lld of %zu", what,
                  static_cast<long long>(byte), size);
  ZORQ_FUZZ_CHECK(byte == 0 || byte == 63 || (byte > 63 && dump[byte - 1] == '\n'),
                  "%s at byte %lld, which starts no line", what, static_cast<long long>(byte));
  ZORQ_FUZZ_CHECK(line == LineNumberAt(dump, byte), "%s at byte %lld is said to be line %lld", what,
                  static_cast<long long>(byte), static_cast<long long>(line));
}

bool IsDataLineStart(uint8_t first) {
  return first != 'Y' && first != ',';
}

void CheckAnomaly(const Anomaly& anomaly, const uint8_t* dump, size_t size) {
  const char* name = AnomalyKindName(anomaly.kind);
  CheckPlace(name, anomaly.line, anomaly.byte, dump, size);
  ZORQ_FUZZ_CHECK(anomaly.byte >= 63, "%s in the header", name);
  const size_t byte = static_cast<size_t>(anomaly.byte);
  const size_t end = LineEnd(dump, size, byte);
  switch (anomaly.kind) {
    case AnomalyKind::TimeGoesBackwards:
      ZORQ_FUZZ_CHECK(dump[byte] == 'Y', "%s on a line that is no date stamp", name);
      break;
    case AnomalyKind::LongLineCut:
      ZORQ_FUZZ_CHECK(end < size && end - byte > 1024, "%s on a line of %zu bytes", name,
                      end - byte);
      break;
    case AnomalyKind::UnfinishedLastLine:
      ZORQ_FUZZ_CHECK(end == size, "%s on a line that has its LF", name);
      break;
    default:
      ZORQ_FUZZ_CHECK(IsDataLineStart(dump[byte]), "%s on a line that is no data line", name);
      break;
  }
}

void CheckFailure(const ConversionRun& run, const uint8_t* dump, size_t size) {
  const ConversionFailure& failure = run.report.failure;
  ZORQ_FUZZ_CHECK(!failure.reason.empty(), "status %d without a reason", run.status);
  switch (run.status) {
    case kStatusHeaderError:
    case kStatusStaffLengthError:
    case kStatusFromTypeError:
      ZORQ_FUZZ_CHECK(failure.line == 1 && failure.byte == 0, "status %d at line %lld", run.status,
                      static_cast<long long>(failure.line));
      break;
    case kStatusDateTimeError:
      // A gauge header's date letters, or a date-stamp line.
      CheckPlace("a date-stamp failure", failure.line, failure.byte, dump, size);
      ZORQ_FUZZ_CHECK(failure.byte == 0 || (failure.byte >= 63 && dump[failure.byte] == 'Y'),
                      "status 4 on a line that is no date stamp");
      break;
    case kStatusWriteError:
      if (failure.line > 0)  // 0: the final flush, at no line
        CheckPlace("a write failure", failure.line, failure.byte, dump, size);
      break;
    default:
      break;
  }
}

// The dump cut into lines as the reader cuts it, counted.
struct LineCounts {
  int64_t lines = 0, commaLines = 0, shortLines = 0, stampLines = 0;
};

LineCounts CountLines(const uint8_t* dump, size_t size, bool skipShortLines) {
  LineCounts counts;
  for (size_t start = 63; start < size;) {
    const size_t end = LineEnd(dump, size, start);
    if (end == size)
      break;
    ++counts.lines;
    if (dump[start] == ',') {
      ++counts.commaLines;
    } else if (skipShortLines && end - start < 3) {
      ++counts.shortLines;
    } else if (dump[start] == 'Y') {
      ++counts.stampLines;
    }
    start = end + 1;
  }
  return counts;
}

int64_t RecordsIn(const std::string& output, bool logger) {
  if (logger) {
    int64_t records = 0;
    for (size_t at = 0; at + 513 <= output.size();) {
      if (output.compare(at, 5, "f001,") != 0)
        break;
      ++records;
      at += 513;
      if (output.compare(at, 8, "C001,D4,") == 0)
        at = output.find('\n', at) + 1;
    }
    return records;
  }
  int64_t records = 0;
  for (size_t at = output.find("\r\nD1,C1,"); at != std::string::npos;
       at = output.find("\r\nD1,C1,", at + 1))
    ++records;
  return records;
}

}  // namespace

void CheckSameBothWays(const ConversionRun& fast, const ConversionRun& plain) {
  ZORQ_FUZZ_CHECK(fast.status == plain.status && fast.output == plain.output,
                  "fast number paths: status %d, %zu bytes; C library: status %d, %zu bytes",
                  fast.status, fast.output.size(), plain.status, plain.output.size());
  ZORQ_FUZZ_CHECK(SameAnomalies(fast.report, plain.report) &&
                      fast.report.failure.reason == plain.report.failure.reason &&
                      fast.report.recordsWritten == plain.report.recordsWritten,
                  "fast number paths and C library report differently");
}

void CheckReport(const ConversionRun& run, const uint8_t* dump, size_t size, bool logger) {
  const ConversionReport& report = run.report;
  size_t kept = 0;
  for (int kind = 0; kind < kAnomalyKinds; ++kind) {
    size_t ofKind = 0;
    for (const Anomaly& anomaly : report.anomalies)
      ofKind += static_cast<int>(anomaly.kind) == kind;
    const int64_t counted = report.anomalyCounts[static_cast<size_t>(kind)];
    ZORQ_FUZZ_CHECK(static_cast<int64_t>(ofKind) == std::min<int64_t>(counted, 100),
                    "%zu anomalies of kind %d kept, %lld counted", ofKind, kind,
                    static_cast<long long>(counted));
    kept += ofKind;
  }
  ZORQ_FUZZ_CHECK(kept == report.anomalies.size(), "anomalies of no kind");
  for (const Anomaly& anomaly : report.anomalies)
    CheckAnomaly(anomaly, dump, size);
  ZORQ_FUZZ_CHECK(report.failed == (run.status != kStatusFinished), "status %d, failed %d",
                  run.status, report.failed);
  if (report.failed)
    CheckFailure(run, dump, size);

  ZORQ_FUZZ_CHECK(report.bytesWritten == static_cast<int64_t>(run.output.size()),
                  "%lld bytes written said, %zu written",
                  static_cast<long long>(report.bytesWritten), run.output.size());
  ZORQ_FUZZ_CHECK(report.dataLines >= 0 && report.dateStampLines + report.dataLines +
                                                   report.commaLinesSkipped +
                                                   report.shortLinesSkipped ==
                                               report.linesRead,
                  "line counts do not add up");
  if (run.status == kStatusFinished) {
    const LineCounts counts = CountLines(dump, size, logger);
    ZORQ_FUZZ_CHECK(
        report.linesRead == counts.lines && report.commaLinesSkipped == counts.commaLines &&
            report.shortLinesSkipped == counts.shortLines &&
            report.dateStampLines == counts.stampLines,
        "lines %lld/%lld, comma %lld/%lld, short %lld/%lld, stamps %lld/%lld",
        static_cast<long long>(report.linesRead), static_cast<long long>(counts.lines),
        static_cast<long long>(report.commaLinesSkipped), static_cast<long long>(counts.commaLines),
        static_cast<long long>(report.shortLinesSkipped), static_cast<long long>(counts.shortLines),
        static_cast<long long>(report.dateStampLines), static_cast<long long>(counts.stampLines));
    ZORQ_FUZZ_CHECK(report.bytesRead == static_cast<int64_t>(size), "%lld of %zu bytes read",
                    static_cast<long long>(report.bytesRead), size);
  }
  if (run.status != kStatusWriteError) {
    const std::string output = logger ? run.output : "\r\n" + run.output;
    ZORQ_FUZZ_CHECK(report.recordsWritten == RecordsIn(output, logger),
                    "%lld records said, %lld written",
                    static_cast<long long>(report.recordsWritten),
                    static_cast<long long>(RecordsIn(output, logger)));
  }
  if (logger && report.recordsWritten > 0 && run.status != kStatusWriteError) {
    const size_t last = run.output.rfind("f001,");
    ZORQ_FUZZ_CHECK(report.firstRecordTime == run.output.substr(12, 19) &&
                        report.lastRecordTime == run.output.substr(last + 12, 19),
                    "record times %s and %s", report.firstRecordTime.c_str(),
                    report.lastRecordTime.c_str());
  }
}

namespace {

// Checks each line as it is heard, and counts.
class CheckingListener final : public ReadingListener {
 public:
  CheckingListener(const uint8_t* dump, size_t size, bool logger)
      : dump_(dump), size_(size), logger_(logger) {}

  void OnReadings(const ReadingLine& line) override {
    ZORQ_FUZZ_CHECK(line.count >= 1 && line.count <= 12, "%d readings of one line", line.count);
    CheckPlace("heard readings", line.line, line.byte, dump_, size_);
    ZORQ_FUZZ_CHECK(line.byte >= 63 && IsDataLineStart(dump_[line.byte]),
                    "readings heard from a line that is no data line");
    ZORQ_FUZZ_CHECK(line.line > lastLine_, "line %lld heard after line %lld",
                    static_cast<long long>(line.line), static_cast<long long>(lastLine_));
    CheckCountedOn(line);
    for (int i = 0; i < line.count && line.notes != nullptr; ++i) {
      notANumber += line.notes[i] == ReadingNote::kNotANumber;
      saturated += line.notes[i] == ReadingNote::kSaturated;
    }
    lastLine_ = line.line;
    last_ = line;
    heardAny_ = true;
    readings += line.count;
    sampleRate = line.sampleRate;
  }

  void OnFillers(int64_t line, int64_t /*byte*/, int count) override {
    ZORQ_FUZZ_CHECK(logger_ && count >= 1 && count < 60, "%d fillers told", count);
    ZORQ_FUZZ_CHECK(line == lastLine_, "fillers of line %lld after the readings of line %lld",
                    static_cast<long long>(line), static_cast<long long>(lastLine_));
    fillers += count;
    ++fillerLines;
  }

  int64_t readings = 0, fillers = 0, fillerLines = 0, notANumber = 0, saturated = 0;
  int sampleRate = 0;

 private:
  // A line's readings go on from the last line's unless a stamp came
  // between (gauge dumps: a new burst).
  void CheckCountedOn(const ReadingLine& line) const {
    ZORQ_FUZZ_CHECK(line.stamped || line.stamp == 0, "an unstamped line with a stamp");
    if (logger_) {
      ZORQ_FUZZ_CHECK(line.burst == -1, "a logger line in burst %lld",
                      static_cast<long long>(line.burst));
    } else {
      ZORQ_FUZZ_CHECK(line.stamped && line.burst >= 0, "a gauge line without its burst");
    }
    const bool sameRun = heardAny_ && (logger_ ? line.sinceStamp != 0 : line.burst == last_.burst);
    if (!sameRun) {
      ZORQ_FUZZ_CHECK(line.sinceStamp == 0, "a new stamp's first line %lld readings on",
                      static_cast<long long>(line.sinceStamp));
      ZORQ_FUZZ_CHECK(!heardAny_ || logger_ || line.burst > last_.burst, "bursts out of order");
      return;
    }
    ZORQ_FUZZ_CHECK(line.sinceStamp == last_.sinceStamp + last_.count &&
                        line.stamp == last_.stamp && line.stamped == last_.stamped,
                    "line %lld counts on to %lld from %lld + %d", static_cast<long long>(line.line),
                    static_cast<long long>(line.sinceStamp),
                    static_cast<long long>(last_.sinceStamp), last_.count);
  }

  const uint8_t* dump_;
  size_t size_;
  bool logger_;
  bool heardAny_ = false;
  int64_t lastLine_ = 0;
  ReadingLine last_;
};

// "7 readings": the readings of the record the end of the input dropped.
int64_t DroppedReadings(const ConversionReport& report) {
  for (const Anomaly& anomaly : report.anomalies) {
    if (anomaly.kind == AnomalyKind::PartialRecordDropped)
      return std::atoll(anomaly.detail.c_str());
  }
  return 0;
}

}  // namespace

void CheckHeardReadings(const ConversionRun& run, const uint8_t* dump, size_t size,
                        DispatchRequest request) {
  const bool logger = !IsGaugeDump(request.fromType);
  MemorySource from(std::string(reinterpret_cast<const char*>(dump), size));
  MemorySink to;
  request.from = &from;
  request.to = &to;
  request.fromOpen = request.toOpen = true;
  CheckingListener heard(dump, size, logger);
  request.readings = &heard;
  const DispatchOutcome outcome = DispatchConversion(request);

  ZORQ_FUZZ_CHECK(outcome.status == run.status && to.bytes() == run.output,
                  "with a listener: status %d, %zu bytes; without: status %d, %zu bytes",
                  outcome.status, to.bytes().size(), run.status, run.output.size());
  const ConversionReport& report = outcome.result.report;
  const auto counted = [&report](AnomalyKind kind) {
    return report.anomalyCounts[static_cast<size_t>(kind)];
  };
  ZORQ_FUZZ_CHECK(heard.fillerLines == counted(AnomalyKind::BrokenOffLine),
                  "%lld lines with fillers heard, %lld broken-off lines counted",
                  static_cast<long long>(heard.fillerLines),
                  static_cast<long long>(counted(AnomalyKind::BrokenOffLine)));
  // A field that is not a number and also too wide is noted as not a number.
  ZORQ_FUZZ_CHECK(heard.saturated <= counted(AnomalyKind::ReadingSaturated) &&
                      heard.notANumber <= counted(AnomalyKind::NotANumber),
                  "notes heard and anomalies counted differ");
  if (heard.readings > 0) {
    const int rate = logger ? report.logger.sampleRate : report.gauge.sampleRate;
    ZORQ_FUZZ_CHECK(heard.sampleRate == rate, "rate %d heard, %d in the header", heard.sampleRate,
                    rate);
  }
  if (!logger) {
    ZORQ_FUZZ_CHECK(heard.readings == report.recordsWritten && heard.fillers == 0,
                    "%lld readings heard, %lld value records",
                    static_cast<long long>(heard.readings),
                    static_cast<long long>(report.recordsWritten));
  } else if (outcome.status == kStatusFinished) {
    const int64_t placed = heard.readings + heard.fillers;
    ZORQ_FUZZ_CHECK(placed == 60 * report.recordsWritten + DroppedReadings(report),
                    "%lld readings and fillers heard, %lld records and %lld dropped",
                    static_cast<long long>(placed), static_cast<long long>(report.recordsWritten),
                    static_cast<long long>(DroppedReadings(report)));
  }
}

}  // namespace zorq_fuzz
