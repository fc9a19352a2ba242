// The wave statistics of one input on the command line: the segmenter that
// listens to the conversion, and the CSV it leaves, written as safely as
// the converted output.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "cli/safe_output.h"
#include "science/netcdf_writer.h"
#include "science/time_base.h"
#include "waves/background_listener.h"
#include "waves/segmenter.h"
#include "waves/wave_csv.h"
#include "waves/wave_netcdf.h"

// --waves auto: the statistics go beside the output, under its name with
// this ending in place of its extension.
inline constexpr const char* kWavesBesideOutput = "auto";
inline constexpr const char* kWavesExtension = ".waves.csv";

// Where the statistics of an input whose output is `to` go: empty when none
// are asked for, "-" for standard output.
std::string WavesNameFor(const CliOptions& options, const std::string& to);

// What the JSON report tells of them.
struct WaveSummary {
  int64_t segments = 0;
  double firstHm0 = std::numeric_limits<double>::quiet_NaN();
  double firstTp = std::numeric_limits<double>::quiet_NaN();
};

class WaveTargets {
 public:
  // `axis`: how the dump's clock becomes UTC, the same as the other outputs'.
  WaveTargets(const CliOptions& options, const TimeAxis& axis);
  ~WaveTargets();
  WaveTargets(const WaveTargets&) = delete;
  WaveTargets& operator=(const WaveTargets&) = delete;

  // Readies the CSV at `path` ("-": standard output), as a new output;
  // `from` is the input, which it may never replace.
  bool Prepare(const std::string& path, dev_t fromDevice, ino_t fromInode, std::string* error);
  // Keeps every segment's statistics and spectrum for the NetCDF output,
  // written into it when `netcdf` finishes. `units`: the readings'.
  void AddTo(NetcdfWriter* netcdf, const std::string& units);
  // Set it as the request's reading listener. The segments are worked out
  // and their rows written on a thread beside the conversion.
  ReadingListener* listener() { return &background_; }
  // A write failed during the run; `error()` says why. May be asked while
  // the conversion runs.
  bool failed() const { return failed_.load(std::memory_order_acquire); }
  const std::string& error() const { return error_; }

  // Hands over the last segment, writes what is left and puts the CSV (if
  // any) in place. False with `error` when it could not.
  bool Finish(std::string* error);
  // Takes the CSV back: nothing appears under its name.
  void Abandon();
  // Removes the CSV after Finish put it in place, when another output of
  // the run failed.
  void TakeBack();

  const WaveSummary& summary() const { return summary_; }
  bool writesCsv() const { return !path_.empty(); }

 private:
  // A row waiting for the clock's drift, known at the end.
  struct HeldRow {
    double start = 0.0;  // instrument UTC; NaN when unknown
    double end = 0.0;
    std::string rest;  // the row from its third field on, with its comma
  };

  void Take(WaveSegment&& segment);
  void TakeRow(const WaveSegment& segment, double start, double end);
  std::string TimeText(double instrumentUtc) const;
  std::string_view TimeText(double instrumentUtc, char* text) const;
  void Write(const std::string& text);
  void Flush();
  void Fail(std::string error);

  TimeAxis axis_;
  WaveSettings settings_;
  bool overwrite_ = false;
  WaveCsvWriter csv_;
  WaveSegmenter segmenter_;
  BackgroundListener background_;
  SafeOutput output_;
  std::string path_;
  bool placed_ = false;
  ByteSink* sink_ = nullptr;  // the CSV's, when one is written
  std::string pending_;       // rows not yet written
  std::vector<HeldRow> held_;
  bool keepForNetcdf_ = false;
  std::string netcdfUnits_;
  std::vector<KeptSegment> kept_;
  WaveSummary summary_;
  std::string error_;  // set once, before failed_
  std::atomic<bool> failed_{false};
};
