#include "desktop/preview_data.h"

#include <sys/types.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "runtime/numbers.h"

namespace {

constexpr size_t kReadBlock = 4 << 20;
constexpr char kFiller[] = ",-101.00";
constexpr int kLoggerFieldWidth = 8;

// The most digits a number may have: their whole number fits 64 bits.
constexpr int kMostDigits = 18;
constexpr double kTenths[kMostDigits + 1] = {1.0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,
                                             1e-7,  1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13,
                                             1e-14, 1e-15, 1e-16, 1e-17, 1e-18};

// Reads a decimal number such as "-02.5000" or "123.456" from `p` on;
// returns where it ends (at `p` when there is no digit). The digits are
// gathered as one whole number and scaled once. Not the conversion's
// ScanDecimal: this reads the plain fields of our own CSV, to a float that
// is only drawn, over files of GBs, where the general grammar (white space,
// exponents, correct rounding) took a quarter more time on a logger CSV.
const char* ScanDrawnDecimal(const char* p, const char* end, float* value) {
  const char* start = p;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+'))
    ++p;
  uint64_t digits = 0;
  int count = 0;
  int decimals = 0;
  for (; p < end && IsDigit(*p); ++p, ++count)
    digits = digits * 10 + static_cast<uint64_t>(*p - '0');
  if (p < end && *p == '.') {
    for (++p; p < end && IsDigit(*p); ++p, ++count, ++decimals)
      digits = digits * 10 + static_cast<uint64_t>(*p - '0');
  }
  if (count == 0 || count > kMostDigits)
    return start;
  const double magnitude = static_cast<double>(digits) * kTenths[decimals];
  *value = static_cast<float>(negative ? -magnitude : magnitude);
  return p;
}

// A decimal number that fills [p, end) exactly.
bool ParseDecimal(const char* p, const char* end, float* value) {
  return p < end && ScanDrawnDecimal(p, end, value) == end;
}

int TwoDigits(const char* p) {
  return (p[0] - '0') * 10 + (p[1] - '0');
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool AllDigits(const char* p, int count) {
  for (int i = 0; i < count; ++i) {
    if (!IsDigit(p[i]))
      return false;
  }
  return true;
}

// "2019-06-30T14:05:30" (19 bytes) as seconds of the calendar, read as
// written: the preview only needs the differences.
bool CalendarSeconds(const char* p, double* seconds) {
  if (!AllDigits(p, 4) || p[4] != '-' || !AllDigits(p + 5, 2) || p[7] != '-' ||
      !AllDigits(p + 8, 2) || p[10] != 'T' || !AllDigits(p + 11, 2) || p[13] != ':' ||
      !AllDigits(p + 14, 2) || p[16] != ':' || !AllDigits(p + 17, 2)) {
    return false;
  }
  const int year = TwoDigits(p) * 100 + TwoDigits(p + 2);
  const int64_t days = DaysFromCivil(year, TwoDigits(p + 5), TwoDigits(p + 8));
  *seconds = static_cast<double>(days * 86400 + TwoDigits(p + 11) * 3600 + TwoDigits(p + 14) * 60 +
                                 TwoDigits(p + 17));
  return true;
}

class PreviewBuilder {
 public:
  explicit PreviewBuilder(PreviewKind kind) : kind_(kind) {
    if (kind == PreviewKind::LoggerCsv) {
      series_.title = "Logger readings";
      series_.yTitle = "reading";
      series_.envelope = MinMaxEnvelope(1 << 16, 1.0 / 64.0);
    } else {
      series_.title = "Gauge values";
      series_.xTitle = "value number";
      series_.yTitle = "D1,C1 value";
      series_.markName = "date stamps";
      series_.envelope = MinMaxEnvelope(1 << 16, 1.0);
    }
  }

  // One line without its LF (a CR before it is allowed).
  void Line(const char* p, const char* end) {
    if (end > p && end[-1] == '\r')
      --end;
    if (kind_ == PreviewKind::LoggerCsv) {
      LoggerLine(p, end);
    } else {
      GaugeLine(p, end);
    }
  }

  PreviewSeries Finish() {
    if (pendingMark_) {
      pendingMark_ = false;
      AddMark(lastValue_);
    }
    if (series_.envelope.Empty() && series_.error.empty())
      series_.error = "The conversion wrote no reading to show.";
    return std::move(series_);
  }

  PreviewSeries& Series() { return series_; }

  // Takes in what the builder of the part that follows this one gathered:
  // its points moved to this part's x (the same base time, or the values
  // counted here before them) and its marks after these.
  void Append(PreviewBuilder&& next) {
    double shift = 0.0;
    if (kind_ == PreviewKind::LoggerCsv) {
      if (!next.haveBase_)
        return;
      if (!haveBase_) {
        haveBase_ = true;
        base_ = next.base_;
        series_.xTitle = next.series_.xTitle;
        series_.pointSpacing = next.series_.pointSpacing;
      }
      shift = next.base_ - base_;
    } else {
      shift = static_cast<double>(values_);
      if (pendingMark_ && next.values_ > 0) {
        // A date stamp at the end of this part marks the next part's first value.
        pendingMark_ = false;
        AddMark(next.firstValue_);
      }
    }
    series_.envelope.Merge(next.series_.envelope, shift);
    for (PreviewMark& mark : next.series_.marks) {
      if (series_.marks.size() >= kMarksKept)
        break;
      mark.x += shift;
      if (!mark.label.empty() && mark.label[0] == ' ')
        mark.label = date_ + mark.label;  // its D1,C8 line ended this part
      series_.marks.push_back(std::move(mark));
    }
    series_.markCount += next.series_.markCount;
    values_ += next.values_;
    if (next.values_ > 0)
      lastValue_ = next.lastValue_;
    if (next.pendingMark_) {
      pendingMark_ = true;
      markLabel_ = next.markLabel_;
    }
    if (!next.date_.empty())
      date_ = next.date_;
  }

 private:
  void LoggerLine(const char* p, const char* end) {
    // f001,S<rate>,B0,<19-byte time> then fields of 8 bytes.
    if (end - p < 6 || std::memcmp(p, "f001,S", 6) != 0)
      return;
    const char* q = p + 6;
    int rate = 0;
    while (q < end && IsDigit(*q))
      rate = rate * 10 + (*q++ - '0');
    if (rate <= 0 || end - q < 4 + 19 || std::memcmp(q, ",B0,", 4) != 0)
      return;
    q += 4;
    double seconds = 0.0;
    if (!CalendarSeconds(q, &seconds))
      return;
    if (!haveBase_) {
      haveBase_ = true;
      base_ = seconds;
      series_.pointSpacing = 1.0 / rate;
      series_.xTitle = "seconds after " + std::string(q, 10) + " " + std::string(q + 11, 8);
    }
    q += 19;
    const double start = seconds - base_;
    const double step = 1.0 / rate;
    for (int i = 0; end - q >= kLoggerFieldWidth; ++i, q += kLoggerFieldWidth) {
      if (std::memcmp(q, kFiller, kLoggerFieldWidth) == 0)
        continue;
      float value = 0.0f;
      if (*q == ',' && ParseDecimal(q + 1, q + kLoggerFieldWidth, &value))
        series_.envelope.Add(start + i * step, value);
    }
  }

  void GaugeLine(const char* p, const char* end) {
    if (end - p < 6 || std::memcmp(p, "D1,C", 4) != 0 || p[5] != ',')
      return;
    const char* field = p + 6;
    switch (p[4]) {
      case '1': {
        float value = 0.0f;
        if (!ParseDecimal(field, end, &value))
          return;
        if (pendingMark_) {
          pendingMark_ = false;
          AddMark(value);
        }
        if (values_ == 0)
          firstValue_ = value;
        series_.envelope.Add(static_cast<double>(values_++), value);
        lastValue_ = value;
        return;
      }
      case '8':
        date_.assign(field, end);
        return;
      case '9':
        markLabel_ = date_ + " " + std::string(field, end);
        pendingMark_ = true;
        return;
      default:
        return;
    }
  }

  void AddMark(float y) {
    ++series_.markCount;
    if (series_.marks.size() < kMarksKept)
      series_.marks.push_back({static_cast<double>(values_), y, markLabel_});
  }

  PreviewKind kind_;
  PreviewSeries series_;
  bool haveBase_ = false;
  double base_ = 0.0;
  int64_t values_ = 0;
  float firstValue_ = 0.0f;
  float lastValue_ = 0.0f;
  bool pendingMark_ = false;
  std::string date_;
  std::string markLabel_;
};

// Hands each whole line of `data` to the builder; returns where the
// unfinished rest begins.
const char* FeedLines(PreviewBuilder* builder, const char* data, const char* end) {
  const char* line = data;
  while (line < end) {
    const auto* lf =
        static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
    if (lf == nullptr)
      break;
    builder->Line(line, lf);
    line = lf + 1;
  }
  return line;
}

}  // namespace

PreviewSeries PreviewFromText(PreviewKind kind, const std::string& text) {
  PreviewBuilder builder(kind);
  const char* end = text.data() + text.size();
  const char* rest = FeedLines(&builder, text.data(), end);
  if (rest < end)
    builder.Line(rest, end);
  return builder.Finish();
}

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenAt(const std::string& path, int64_t offset) {
  File file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (file != nullptr && fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
    file.reset();
  return file;
}

// Feeds bytes [begin, end) to the builder; false when the file cannot be read.
bool ReadInto(PreviewBuilder* builder, const std::string& path, int64_t begin, int64_t end,
              const std::atomic<bool>& stop) {
  File file = OpenAt(path, begin);
  if (file == nullptr)
    return false;
  std::vector<char> buffer(kReadBlock);
  size_t kept = 0;  // an unfinished line carried to the next block
  int64_t left = end - begin;
  while (left > 0 && !stop.load(std::memory_order_relaxed)) {
    const size_t room = buffer.size() - kept;
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(room)));
    const size_t got = std::fread(buffer.data() + kept, 1, want, file.get());
    if (got == 0)
      break;
    left -= static_cast<int64_t>(got);
    const char* data = buffer.data();
    const char* filled = data + kept + got;
    const char* rest = FeedLines(builder, data, filled);
    kept = static_cast<size_t>(filled - rest);
    if (kept == buffer.size()) {
      kept = 0;  // a line longer than the buffer is no record line
    } else {
      std::memmove(buffer.data(), rest, kept);
    }
  }
  if (kept > 0)
    builder->Line(buffer.data(), buffer.data() + kept);
  return true;
}

constexpr int64_t kBytesPerExtraPart = 64 << 20;

int PartsFor(int64_t bytes, int asked) {
  if (asked > 0)
    return asked;
  const int cores =
      static_cast<int>(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
  return static_cast<int>(std::clamp<int64_t>(bytes / kBytesPerExtraPart, 1, cores));
}

// Where the line at or after `offset` starts (`end` when none does).
int64_t NextLineStart(const std::string& path, int64_t offset, int64_t end) {
  File file = OpenAt(path, offset);
  std::vector<char> buffer(64 << 10);
  while (file != nullptr && offset < end) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (got == 0)
      break;
    const auto* lf = static_cast<const char*>(std::memchr(buffer.data(), '\n', got));
    if (lf != nullptr)
      return std::min(end, offset + (lf - buffer.data()) + 1);
    offset += static_cast<int64_t>(got);
  }
  return end;
}

}  // namespace

PreviewSeries ReadPreview(PreviewKind kind, const std::string& path, int64_t begin, int64_t end,
                          const std::atomic<bool>& stop, int parts) {
  if (begin < 0 || end < begin) {
    PreviewBuilder builder(kind);
    builder.Series().error = "The To file could not be read.";
    return builder.Finish();
  }
  const int count = PartsFor(end - begin, parts);
  // Each part starts at a line; the first at `begin`, where the conversion's
  // output starts.
  std::vector<int64_t> cuts{begin};
  for (int i = 1; i < count; ++i)
    cuts.push_back(
        NextLineStart(path, std::max(cuts.back(), begin + (end - begin) * i / count), end));
  cuts.push_back(end);
  std::vector<PreviewBuilder> builders(static_cast<size_t>(count), PreviewBuilder(kind));
  std::vector<char> readable(static_cast<size_t>(count), 0);
  std::vector<std::thread> threads;
  for (int i = 1; i < count; ++i) {
    threads.emplace_back([&, i] {
      readable[static_cast<size_t>(i)] =
          ReadInto(&builders[static_cast<size_t>(i)], path, cuts[static_cast<size_t>(i)],
                   cuts[static_cast<size_t>(i) + 1], stop);
    });
  }
  readable[0] = ReadInto(&builders[0], path, cuts[0], cuts[1], stop);
  for (std::thread& thread : threads)
    thread.join();
  if (std::count(readable.begin(), readable.end(), 0) > 0) {
    PreviewBuilder failed(kind);
    failed.Series().error = "The To file could not be read.";
    return failed.Finish();
  }
  for (size_t i = 1; i < builders.size(); ++i)
    builders[0].Append(std::move(builders[i]));
  return builders[0].Finish();
}
