// The statistics of every segment of one conversion's dump, worked out by
// the wave statistics (waves/) from that conversion's own readings, on a
// thread beside it: nothing reads the dump a second time. The desktop
// program's View > Wave statistics shows them. Each segment keeps what the
// window shows: its statistics, its row of the statistics CSV and its
// spectrum, held as floats so that a month of readings stays small.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/readings.h"
#include "runtime/time_zone.h"
#include "waves/wave_settings.h"

class BackgroundListener;
class WaveSegmenter;

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
  WaveSettings settings;  // those the rows were worked out with
  std::string note;       // why they differ from the ones chosen; empty when they do not
};

// The statistics CSV's text: the header line, then one line per row.
std::string WaveTableCsv(const WaveTable& table);

// Writes the table's CSV to `path` under the outputs' contract: written
// under a temporary name and put in place only once all of it is on the
// disk; an existing file is replaced only when `replace` says so, and never
// the dump `dumpPath` itself. False with `error` saying why and what to do.
bool SaveWaveTable(const WaveTable& table, const std::string& path, const std::string& dumpPath,
                   bool replace, std::string* error);

// Listens to one conversion of a dump of `fromType` and works its segments
// out beside it, with `settings` where they fit the dump (pressure is for
// gauge dumps) and without pressure where they do not.
class WaveCapture {
 public:
  // `zone`: the one the conversion reads the dump's clock in.
  WaveCapture(const WaveSettings& settings, int fromType, const Zone& zone);
  ~WaveCapture();
  WaveCapture(const WaveCapture&) = delete;
  WaveCapture& operator=(const WaveCapture&) = delete;

  // Set it as (or add it to) the conversion's reading listener.
  ReadingListener* listener();
  // After the conversion, on any thread: waits for the last segments and
  // hands the table over. A cancelled conversion gives no rows; one that
  // stopped early keeps the segments it reached (`status` says why).
  WaveTable Finish(bool cancelled, int status);

 private:
  WaveTable table_;
  std::unique_ptr<WaveSegmenter> segmenter_;
  std::unique_ptr<BackgroundListener> background_;
};

// False with `error` when the settings cannot be used for this dump (the
// pressure correction needs a gauge dump and a sensor height).
bool CheckWaveSettings(const WaveSettings& settings, int fromType, std::string* error);
