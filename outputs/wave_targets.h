// The wave statistics of one conversion: the segmenter that listens to it,
// the rows of the statistics' CSV, and their NetCDF file (NAME.waves.nc).
// Where the files go, and when they are put in place, is the job's.
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

#include "netcdf/netcdf_file.h"
#include "runtime/byte_streams.h"
#include "science/metadata.h"
#include "science/time_base.h"
#include "waves/background_listener.h"
#include "waves/segmenter.h"
#include "waves/wave_csv.h"
#include "waves/wave_netcdf.h"

// The statistics' CSV beside an output takes its name with this ending in
// place of its extension.
inline constexpr const char* kWavesExtension = ".waves.csv";
// The statistics' NetCDF file beside the readings' NAME.nc.
inline constexpr const char* kWavesNetcdfExtension = ".waves.nc";

// What the JSON report tells of them.
struct WaveSummary {
  int64_t segments = 0;
  double firstHm0 = std::numeric_limits<double>::quiet_NaN();
  double firstTp = std::numeric_limits<double>::quiet_NaN();
};

class WaveTargets {
 public:
  // `axis`: how the dump's clock becomes UTC, the same as the other outputs'.
  WaveTargets(const WaveSettings& settings, const TimeAxis& axis);
  ~WaveTargets();
  WaveTargets(const WaveTargets&) = delete;
  WaveTargets& operator=(const WaveTargets&) = delete;

  // Writes the CSV's rows into `sink`, which stays the caller's; `shown`
  // names it in messages.
  void WriteCsvTo(ByteSink* sink, const std::string& shown);
  // Writes every segment's statistics and spectrum as it comes into a
  // NetCDF file of their own, created at `path` (messages name `shown`),
  // of the station `science` describes. `units`: the readings'. `nameFor`:
  // the standard names the statistics may carry. Set before the
  // conversion starts. False with `error` when the file cannot be made.
  bool OpenNetcdf(const std::string& path, const std::string& shown, const ScienceSettings& science,
                  const std::string& units, WaveNetcdfWriter::StandardNameFor nameFor,
                  std::string* error);
  // After Finish: writes the station, the global attributes (the readings'
  // file's, with the statistics' own title, summary and time coverage)
  // and closes the NetCDF file. False with `error` when any of it failed.
  // The same statistics into a caller's store (the Python module's arrays)
  // instead of a file.
  void OpenNetcdfIn(NetcdfStore* store, const ScienceSettings& science, const std::string& units,
                    WaveNetcdfWriter::StandardNameFor nameFor);
  bool CloseNetcdf(const ReadingFacts& facts, RunFacts run, std::string* error);
  // Set it as the request's reading listener. The segments are worked out
  // and their rows written on a thread beside the conversion.
  ReadingListener* listener() { return &background_; }
  // A write failed during the run; `error()` says why. May be asked while
  // the conversion runs.
  bool failed() const { return failed_.load(std::memory_order_acquire); }
  const std::string& error() const { return error_; }

  // Hands over the last segment and writes what is left into the CSV's
  // sink. False with `error` when a write failed.
  bool Finish(std::string* error);
  // Stops the segmenter without waiting for the segments still being
  // worked out and writes the rows it has (a stopped run keeps them).
  void Stop();
  // Stops the segmenter and writes nothing more anywhere (the outputs are
  // taken back).
  void Abandon();

  const WaveSummary& summary() const { return summary_; }
  bool writesCsv() const { return sink_ != nullptr || !path_.empty(); }

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
  std::vector<Attribute> StatisticsAttributes(const ReadingFacts& facts, const RunFacts& run) const;
  std::string_view TimeText(double instrumentUtc, char* text) const;
  void Write(const std::string& text);
  void Flush();
  bool WriteWhatIsLeft(std::string* error);
  void Fail(std::string error);

  TimeAxis axis_;
  WaveSettings settings_;
  WaveCsvWriter csv_;
  WaveSegmenter segmenter_;
  BackgroundListener background_;
  std::string path_;          // the CSV's name in messages
  ByteSink* sink_ = nullptr;  // the CSV's, when one is written
  std::string pending_;       // rows not yet written
  std::vector<HeldRow> held_;
  ScienceSettings science_;                 // the NetCDF file's station and metadata
  std::unique_ptr<NetcdfFile> netcdfFile_;  // NAME.waves.nc, when written to a file
  NetcdfStore* store_ = nullptr;            // where the statistics go: the file or the caller's
  std::unique_ptr<WaveNetcdfWriter> netcdf_;
  bool netcdfWritten_ = false;  // its rows and times went to the file
  WaveSummary summary_;
  std::string error_;  // set once, before failed_
  std::atomic<bool> failed_{false};
};
