// The wave statistics in a NetCDF file: one value per segment on a
// `segment` dimension, and each segment's spectrum S(segment, frequency),
// with CF standard names and the method, band and cut-off as attributes.
// Written into the file as the segments come, so that a long run keeps
// no spectra.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "netcdf/netcdf_file.h"
#include "waves/segmenter.h"
#include "waves/wave_settings.h"

class WaveNetcdfWriter {
 public:
  // The standard name a statistic of `units` may carry under `standardName`
  // (the CF table's): that name, or empty for none.
  using StandardNameFor =
      std::function<std::string(const std::string& standardName, const std::string& units)>;

  // The statistics go into `file` (open; not owned). `units`: the
  // readings' units ("m" with pressure). `nameFor`: none, every name as
  // the table gives it.
  WaveNetcdfWriter(NetcdfStore* file, const WaveSettings& settings, std::string units,
                   StandardNameFor nameFor = nullptr);
  WaveNetcdfWriter(const WaveNetcdfWriter&) = delete;
  WaveNetcdfWriter& operator=(const WaveNetcdfWriter&) = delete;

  // The next segment, with its first and last readings' times in UTC
  // seconds (NaN when unknown); its times wait for Finish. The first one
  // adds the dimensions, variables and attributes to the file: its
  // spectrum's length sets the spectra's chunks.
  bool Add(const WaveSegment& segment, double start, double end);
  // Writes what waits, the times through `corrected` (the clock's drift is
  // known only at the end). The file's error says why it failed.
  bool Finish(const std::function<double(double)>& corrected);

  size_t segments() const { return segments_; }

 private:
  // The per-segment values waiting for a write of several at once.
  struct Row {
    std::vector<double> statistics;  // in the order of the statistics table
    long long samples = 0;
    long long waves = 0;
    long long burst = -1;
    signed char flag = 0;
    signed char hm0Range = 0;
    signed char tpRange = 0;
  };

  NetcdfLayout Layout() const;
  std::string StandardName(const std::string& name, const std::string& units) const;
  bool Define(size_t binsPerChunk);
  bool WriteRows();
  bool WriteSpectrum(const Spectrum& spectrum);

  NetcdfStore* file_;
  WaveSettings settings_;
  std::string units_;
  StandardNameFor nameFor_;
  bool defined_ = false;
  size_t binsPerChunk_ = 1;
  std::vector<NetcdfVariableId> statisticVars_;
  NetcdfVariableId samplesVar_;
  NetcdfVariableId wavesVar_;
  NetcdfVariableId burstVar_;
  NetcdfVariableId flagVar_;
  NetcdfVariableId hm0RangeVar_;
  NetcdfVariableId tpRangeVar_;
  NetcdfVariableId frequencyVar_;
  NetcdfVariableId densityVar_;
  NetcdfVariableId startVar_;
  NetcdfVariableId endVar_;
  size_t segments_ = 0;  // added
  size_t written_ = 0;   // of them, rows written
  std::vector<Row> rows_;
  std::vector<double> starts_;
  std::vector<double> ends_;
};
