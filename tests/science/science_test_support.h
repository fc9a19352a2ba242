// Feeds of readings as the engine hands them out, and NetCDF files read
// back through the C API, for the science outputs' tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/readings.h"

namespace science_test {

// Seconds since 1970 of a calendar time with no zone: a stamp as the dump
// gives it.
LocalSeconds Local(int year, int month, int day, int hour, int minute, int second);

// One line of a synthetic feed; the arrays live as long as the line.
struct FeedLine {
  int64_t line = 2;
  bool stamped = true;
  LocalSeconds stamp = 0;
  int64_t sinceStamp = 0;
  int sampleRate = 1;
  bool stampWentBack = false;
  int64_t burst = -1;
  std::vector<double> values;
  std::vector<ReadingNote> notes;  // empty: every one plain
  std::optional<double> temperature;

  ReadingLine View() const;

  // Builders, for feeds written as one expression.
  FeedLine& At(LocalSeconds when, int64_t since = 0, int rate = 1) {
    stamp = when;
    sinceStamp = since;
    sampleRate = rate;
    return *this;
  }
  FeedLine& Values(std::vector<double> taken) {
    values = std::move(taken);
    return *this;
  }
  FeedLine& Notes(std::vector<ReadingNote> taken) {
    notes = std::move(taken);
    return *this;
  }
  FeedLine& Temperature(double degrees) {
    temperature = degrees;
    return *this;
  }
  FeedLine& Line(int64_t number) {
    line = number;
    return *this;
  }
  FeedLine& Burst(int64_t index) {
    burst = index;
    return *this;
  }
  FeedLine& WentBack(bool back = true) {
    stampWentBack = back;
    return *this;
  }
  FeedLine& Unstamped() {
    stamped = false;
    return *this;
  }
};

void Feed(ReadingListener* listener, const std::vector<FeedLine>& lines);

// A folder of its own for one test, removed at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadWhole(const std::string& path);

// A NetCDF file opened for reading; the test fails where a call does.
class NetcdfFile {
 public:
  explicit NetcdfFile(const std::string& path);
  ~NetcdfFile();
  NetcdfFile(const NetcdfFile&) = delete;
  NetcdfFile& operator=(const NetcdfFile&) = delete;

  bool open() const { return ncid_ >= 0; }
  int ncid() const { return ncid_; }
  bool HasVariable(const std::string& name) const;
  // Every value; one for a scalar.
  std::vector<double> Doubles(const std::string& variable) const;
  // A character variable of one dimension.
  std::string Chars(const std::string& variable) const;
  std::vector<int> Ints(const std::string& variable) const;
  // Text attribute; NC_GLOBAL when `variable` is empty. Empty when absent.
  std::string Text(const std::string& variable, const std::string& name) const;
  std::optional<double> Number(const std::string& variable, const std::string& name) const;
  size_t DimensionLength(const std::string& name) const;

 private:
  int VariableId(const std::string& name) const;
  int ncid_ = -1;
};

}  // namespace science_test
