#include "app/preview_data.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kReadBlock = 4 << 20;
constexpr char kFiller[] = ",-101.00";
constexpr int kLoggerFieldWidth = 8;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A decimal number such as "-02.5000" or "123.456" in [p, end); false when
// the text holds no digit or anything else.
bool ParseDecimal(const char* p, const char* end, float* value) {
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
  double whole = 0.0;
  bool digits = false;
  for (; p < end && IsDigit(*p); ++p) {
    whole = whole * 10.0 + (*p - '0');
    digits = true;
  }
  if (p < end && *p == '.') {
    ++p;
    double scale = 0.1;
    for (; p < end && IsDigit(*p); ++p) {
      whole += (*p - '0') * scale;
      scale *= 0.1;
      digits = true;
    }
  }
  if (!digits || p != end)
    return false;
  *value = static_cast<float>(negative ? -whole : whole);
  return true;
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
    const auto* lf = static_cast<const char*>(std::memchr(line, '\n', end - line));
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

PreviewSeries ReadPreview(PreviewKind kind, const std::string& path, int64_t begin, int64_t end,
                          const std::atomic<bool>& stop) {
  PreviewBuilder builder(kind);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (file == nullptr || begin < 0 || end < begin ||
      std::fseek(file.get(), static_cast<long>(begin), SEEK_SET) != 0) {
    builder.Series().error = "The To file could not be read.";
    return builder.Finish();
  }
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
    const char* rest = FeedLines(&builder, data, filled);
    kept = static_cast<size_t>(filled - rest);
    if (kept == buffer.size()) {
      kept = 0;  // a line longer than the buffer is no record line
    } else {
      std::memmove(buffer.data(), rest, kept);
    }
  }
  if (kept > 0)
    builder.Line(buffer.data(), buffer.data() + kept);
  return builder.Finish();
}
