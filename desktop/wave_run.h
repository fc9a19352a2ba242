// View > Wave statistics: the statistics of every segment of the last
// conversion's dump, worked out by the wave statistics (waves/) listening
// to one run of the engine over the dump, with the pressure settings of
// the window's form. Each segment keeps what the window shows: its
// statistics, its row of the statistics CSV and its spectrum, held as
// floats so that a month of readings stays small.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "desktop/export_run.h"
#include "waves/wave_settings.h"

struct WaveRow {
  double start = 0.0;  // UTC seconds of the first and last readings; NaN when unknown
  double end = 0.0;
  int64_t samples = 0;
  double mean = 0.0;
  double hm0 = 0.0;
  double tp = 0.0;
  double fp = 0.0;
  double hs = 0.0;
  double tz = 0.0;
  int64_t waves = 0;
  bool suspect = false;
  std::string reason;   // why it is suspect
  std::string csvLine;  // its row of the statistics CSV, without the line end
  // The spectrum: density[i] at i × resolution Hz (NaN where the pressure
  // response was too weak), and the band the statistics were taken over.
  double resolution = 0.0;
  std::vector<float> density;
  double bandLow = 0.0;
  double bandHigh = 0.0;
};

struct WaveTable {
  bool ok = false;
  bool cancelled = false;
  std::string error;
  std::vector<WaveRow> rows;
};

// The statistics CSV's text: the header line, then one line per row.
std::string WaveTableCsv(const WaveTable& table);

WaveTable RunWaveStatistics(const ExportSource& source, const WaveSettings& settings,
                            const std::function<void(int64_t done, int64_t total)>& progress,
                            const std::function<bool()>& cancelRequested);

// False with `error` when the settings cannot be used for this dump (the
// pressure correction needs a gauge dump and a sensor height).
bool CheckWaveSettings(const WaveSettings& settings, int fromType, std::string* error);
