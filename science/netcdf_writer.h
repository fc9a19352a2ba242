// The NetCDF-4 output: one pass of readings streamed into chunked,
// deflated variables on an unlimited `time` dimension, with CF and ACDD
// metadata written when the conversion ends. Memory stays at a few chunks
// whatever the dump's size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/readings.h"
#include "science/metadata.h"
#include "science/time_base.h"

class NetcdfWriter final : public ReadingListener {
 public:
  // Readings per chunk of the variables on `time`.
  static constexpr size_t kChunkReadings = 64 * 1024;
  static constexpr int kDeflateLevel = 1;

  // Called at Finish, after every reading and attribute is written and
  // before the file is closed, with the file's ncid in define mode: another
  // listener's results (statistics on a dimension of their own, say) go in
  // here. A hook that returns false fails the output with its `error`.
  using CloseHook = std::function<bool(int ncid, std::string* error)>;

  explicit NetcdfWriter(ScienceSettings settings);
  ~NetcdfWriter() override;
  NetcdfWriter(const NetcdfWriter&) = delete;
  NetcdfWriter& operator=(const NetcdfWriter&) = delete;

  // Creates the file at `path` (replacing what is there) and defines its
  // variables. False with `error` when it cannot.
  bool Create(const std::string& path, std::string* error);
  void AddCloseHook(CloseHook hook) { hooks_.push_back(std::move(hook)); }

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  // A write failed: the rest of the run is not written; `error()` says why.
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  const ReadingFacts& facts() const { return facts_; }

  // Writes what is buffered, corrects the times for the clock, writes the
  // attributes, runs the close hooks and closes the file. False with
  // `error` when any of it failed.
  bool Finish(const RunFacts& run, std::string* error);
  // Closes the file without finishing it (a cancelled or failed run); the
  // caller removes it.
  void Abandon();

 private:
  bool DefineFile(std::string* error);
  bool DefineTimeVariable(int dimension, size_t chunk, const char* name, int* variable);
  void PlaceBurst(const ReadingLine& line, double firstTime);
  void FlushReadings();
  void FlushTemperatures();
  void FlushBursts();
  bool CorrectTimes();
  bool CorrectVariable(int variable, size_t length);
  bool WriteAttributes(const RunFacts& run);
  bool Check(int status, const char* doing);

  ScienceSettings settings_;
  std::string path_;
  int ncid_ = -1;
  UtcStamps stamps_;
  ReadingFacts facts_;
  std::string error_;
  std::vector<CloseHook> hooks_;

  // Variable ids.
  int timeVar_ = -1;
  int readingVar_ = -1;
  int flagVar_ = -1;
  int burstVar_ = -1;
  int temperatureTimeVar_ = -1;
  int temperatureVar_ = -1;
  int burstStartVar_ = -1;

  // Readings waiting for their chunk, and how many are written.
  std::vector<double> times_;
  std::vector<double> values_;
  std::vector<signed char> flags_;
  std::vector<int> bursts_;
  size_t readingsWritten_ = 0;
  std::vector<double> temperatureTimes_;
  std::vector<double> temperatures_;
  size_t temperaturesWritten_ = 0;
  std::vector<double> burstStarts_;
  size_t burstsWritten_ = 0;
  int64_t nextBurst_ = 0;
};
