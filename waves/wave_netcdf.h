// The wave statistics as a NetCDF file of their own: a CF timeSeries of
// the station, one row per segment on `time` (the segment's start, with
// its bounds), and the spectra S(time, frequency) on one frequency grid,
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

// What the file shares with the readings' file: the station's dimensions
// and variables, and the names every statistic lists in `coordinates`
// after `time`.
struct WaveNetcdfStation {
  NetcdfLayout layout;
  std::string coordinates;
};

// The one Welch window of a file: `--welch-segment` when given, else the
// default rule on a segment of `nominalReadings`.
int FileWelchLength(const WaveSettings& settings, double nominalReadings);

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
                   StandardNameFor nameFor = nullptr, WaveNetcdfStation station = {});
  WaveNetcdfWriter(const WaveNetcdfWriter&) = delete;
  WaveNetcdfWriter& operator=(const WaveNetcdfWriter&) = delete;

  // The next segment, with its first and last readings' times in UTC
  // seconds (NaN when unknown); its times wait for Finish. The first one
  // defines the file: its sample rate and the nominal segment length (the
  // --segment length for logger dumps, the header's burst length for gauge
  // dumps, else the first burst's) set the frequency grid. A segment without a time, or starting no
  // later than the one before, is left out; one whose spectrum is not on the grid is flagged
  // suspect, its row of S left to the fill.
  bool Add(const WaveSegment& segment, double start, double end);
  // Writes what waits, the times through `corrected` (the clock's drift is
  // known only at the end). The file's error says why it failed.
  bool Finish(const std::function<double(double)>& corrected);

  size_t segments() const { return segments_; }
  // Segments left out for a start that is unknown or does not rise.
  size_t leftOut() const { return leftOut_; }
  // The first segment's corrected start and the last one's end, once
  // finished with segments.
  double coverageStart() const { return coverageStart_; }
  double coverageEnd() const { return coverageEnd_; }

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
    signed char reasons = 0;  // the suspect reasons' bits
  };

  NetcdfLayout Layout() const;
  void AddStatistics(NetcdfLayout* layout) const;
  void AddSegmentFacts(NetcdfLayout* layout) const;
  void AddDensity(NetcdfLayout* layout) const;
  std::string StandardName(const std::string& name, const std::string& units) const;
  bool Define(const WaveSegment& first);
  bool OnGrid(const Spectrum& spectrum, int sampleRate) const;
  bool WriteRows();
  bool WriteTimes(const std::function<double(double)>& corrected);

  NetcdfStore* file_;
  WaveSettings settings_;
  std::string units_;
  StandardNameFor nameFor_;
  WaveNetcdfStation station_;
  bool defined_ = false;
  int sampleRate_ = 0;
  int welchLength_ = 0;
  size_t bins_ = 0;
  std::vector<NetcdfVariableId> statisticVars_;
  NetcdfVariableId samplesVar_;
  NetcdfVariableId wavesVar_;
  NetcdfVariableId burstVar_;
  NetcdfVariableId flagVar_;
  NetcdfVariableId hm0RangeVar_;
  NetcdfVariableId tpRangeVar_;
  NetcdfVariableId reasonVar_;
  NetcdfVariableId densityVar_;
  NetcdfVariableId timeVar_;
  NetcdfVariableId boundsVar_;
  size_t segments_ = 0;  // added
  size_t written_ = 0;   // of them, rows written
  size_t leftOut_ = 0;
  double coverageStart_ = 0.0;
  double coverageEnd_ = 0.0;
  std::vector<Row> rows_;
  std::vector<double> starts_;
  std::vector<double> ends_;
};
