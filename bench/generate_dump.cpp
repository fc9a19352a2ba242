// Writes a realistic dump of a chosen size for the benchmarks:
//   generate_dump logger|gauge SIZE_MB OUTPUT [SEED [START_DAY [SIGNAL]]]
// START_DAY: days after 30 June 2019 that the dump starts (default 0), so
// that several dumps of one deployment follow each other.
// SIGNAL: `noise` (default), readings drawn uniformly from the whole range,
// which is hardest on the parser and on every compressor; or `waves`, two
// swells and a little noise, as a wave staff or a pressure gauge in the sea
// reads them, for the quality tests, whose flags and their compression
// depend on how the readings move.
// Logger dumps: the 63-byte header, date stamps every few lines, lines of
// twelve counts 0..4095 and an extra value, now and then a broken-off line.
// Gauge dumps: the gauge header, date stamps, lines of twelve decimal
// readings with up to three decimals and a thirteenth (C4) field.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int kLinesPerStamp = 40;
constexpr int kReadingsPerLine = 12;
constexpr int kSampleRate = 4;  // F04
constexpr long long kSecondsPerStamp = kLinesPerStamp * kReadingsPerLine / kSampleRate;

constexpr std::chrono::year_month_day kFirstDay{std::chrono::year{2019}, std::chrono::month{6},
                                                std::chrono::day{30}};

// "Y19,M06,D30," for the day `startDay` days after the first.
std::string HeaderDate(int startDay) {
  const std::chrono::year_month_day date{std::chrono::sys_days{kFirstDay} +
                                         std::chrono::days{startDay}};
  char text[16];
  std::snprintf(text, sizeof text, "Y%02d,M%02u,D%02u,", static_cast<int>(date.year()) % 100,
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

std::string LoggerHeader(int startDay) {
  std::string header(63, ' ');
  const std::string date = HeaderDate(startDay) + "H14,M05,S30,";
  std::memcpy(header.data(), date.data(), date.size());
  std::memcpy(header.data() + 24, "F04", 3);
  std::memcpy(header.data() + 41, "A8,", 3);
  std::memcpy(header.data() + 44, "C100", 4);
  header[61] = '\r';
  header[62] = '\n';
  return header;
}

std::string GaugeHeader(int startDay) {
  return HeaderDate(startDay) + "H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
}

enum class Signal { kNoise, kWaves };

class DumpWriter {
 public:
  DumpWriter(std::FILE* out, unsigned seed, int startDay, Signal signal)
      : out_(out), random_(seed), signal_(signal), second_(kFirstSecond + startDay * 86400LL) {}

  // Each stamp comes as the readings before it end (kLinesPerStamp lines of
  // twelve at 4 Hz), on the calendar from the header's day on: a long dump
  // runs for years, and its time neither goes back nor overlaps itself, as
  // a wrapped date or a stamp inside the last run of readings would.
  void DateStamp() {
    second_ += kSecondsPerStamp;
    const std::chrono::year_month_day date{std::chrono::sys_days{kFirstDay} +
                                           std::chrono::days{second_ / 86400}};
    const long long s = second_ % 60, m = (second_ / 60) % 60, h = (second_ / 3600) % 24;
    std::fprintf(out_, "Y%02d,M%02u,D%02u,H%02lld,M%02lld,S%02lld,\r\n",
                 static_cast<int>(date.year()) % 100, static_cast<unsigned>(date.month()),
                 static_cast<unsigned>(date.day()), h, m, s);
  }

  void LoggerLine() {
    std::uniform_int_distribution<int> count(0, 4095);
    const bool brokenOff = random_() % 50 == 0;
    const int fields = brokenOff ? 1 + static_cast<int>(random_() % 11) : 12;
    for (int i = 0; i < fields; ++i) {
      const int reading = signal_ == Signal::kWaves
                              ? static_cast<int>(std::lround(2048.0 + 1600.0 * Swell()))
                              : count(random_);
      std::fprintf(out_, "%d,", reading);
    }
    if (brokenOff) {
      std::fputs("\r\n", out_);
      return;
    }
    std::fprintf(out_, "%d\r\n", 300 + static_cast<int>(random_() % 100));
  }

  void GaugeLine() {
    std::uniform_int_distribution<int> milli(-5000, 25000);
    for (int i = 0; i < 12; ++i) {
      const int value = signal_ == Signal::kWaves
                            ? static_cast<int>(std::lround(10000.0 + 1500.0 * Swell()))
                            : milli(random_);
      const int decimals = static_cast<int>(random_() % 4);  // 0 to 3 decimals
      const double scaled = value / 1000.0;
      std::fprintf(out_, "%.*f,", decimals, scaled);
    }
    std::fprintf(out_, "%d,\r\n", 300 + static_cast<int>(random_() % 100));
  }

 private:
  // The sea surface at the next sample, within -1..1: a swell of 8 s and
  // one of 11.3 s, and noise of about a thousandth.
  double Swell() {
    constexpr double kTwoPi = 6.283185307179586;
    const double t = static_cast<double>(sample_++) / kSampleRate;
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    return 0.6 * std::sin(kTwoPi * t / 8.0) + 0.35 * std::sin(kTwoPi * t / 11.3 + 1.0) +
           noise(random_);
  }

  std::FILE* out_;
  std::mt19937 random_;
  Signal signal_;
  long long sample_ = 0;
  // The header's time of day, less a stamp: the first stamp is the header's.
  static constexpr long long kFirstSecond = 14 * 3600 + 5 * 60 + 30 - kSecondsPerStamp;
  long long second_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: generate_dump logger|gauge SIZE_MB OUTPUT [SEED [START_DAY [SIGNAL]]]\n");
    return 64;
  }
  const std::string kind = argv[1];
  const long long target = std::atoll(argv[2]) * 1000LL * 1000LL;
  const unsigned seed = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 1u;
  const int startDay = argc > 5 ? std::atoi(argv[5]) : 0;
  const std::string signal = argc > 6 ? argv[6] : "noise";
  if ((kind != "logger" && kind != "gauge") || target <= 0 ||
      (signal != "noise" && signal != "waves")) {
    std::fprintf(stderr, "generate_dump: bad kind, size or signal\n");
    return 64;
  }
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) {
    std::perror(argv[3]);
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  const bool logger = kind == "logger";
  std::fputs((logger ? LoggerHeader(startDay) : GaugeHeader(startDay)).c_str(), out);
  DumpWriter writer(out, seed, startDay, signal == "waves" ? Signal::kWaves : Signal::kNoise);
  int line = 0;
  while (std::ftell(out) < target) {
    if (line++ % kLinesPerStamp == 0)
      writer.DateStamp();
    if (logger) {
      writer.LoggerLine();
    } else {
      writer.GaugeLine();
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
