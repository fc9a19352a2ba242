#include "desktop/wave_run.h"

#include <cmath>
#include <utility>

#include "convert/dump_types.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "science/time_base.h"
#include "waves/segmenter.h"
#include "waves/wave_csv.h"

namespace {

// The UTC time of a time on the dump's clock, read in the process's zone
// as the science outputs read it; NaN when unknown.
double UtcOf(const DumpTime& time, UtcStamps* stamps) {
  double stampUtc = 0.0;
  if (!time.known || !stamps->ToUtc(time.stamp, &stampUtc))
    return NAN;
  return stampUtc + time.elapsed;
}

std::string IsoOrEmpty(double utc) {
  return std::isnan(utc) ? std::string() : IsoUtcMilliseconds(utc);
}

WaveRow RowOf(const WaveSegment& segment, const WaveCsvWriter& csv, UtcStamps* stamps) {
  WaveRow row;
  row.start = UtcOf(segment.start, stamps);
  row.end = UtcOf(segment.end, stamps);
  row.samples = segment.readings;
  const SegmentAnalysis& analysis = segment.analysis;
  row.mean = analysis.mean;
  row.hm0 = analysis.spectral.hm0;
  row.tp = analysis.spectral.tp;
  row.fp = analysis.spectral.fp;
  row.hs = analysis.zeroCrossing.hs;
  row.tz = analysis.zeroCrossing.tz;
  row.waves = analysis.zeroCrossing.waves;
  row.suspect = segment.flag == SegmentFlag::Suspect;
  row.reason = segment.reason;
  row.csvLine = csv.Row(segment, IsoOrEmpty(row.start), IsoOrEmpty(row.end));
  while (!row.csvLine.empty() && (row.csvLine.back() == '\n' || row.csvLine.back() == '\r'))
    row.csvLine.pop_back();
  row.resolution = analysis.spectrum.resolution;
  row.density.assign(analysis.spectrum.density.begin(), analysis.spectrum.density.end());
  row.bandLow = analysis.bandLow;
  row.bandHigh = analysis.bandHigh;
  return row;
}

struct DumpFiles {
  int from = -1;
  int to = -1;
  ~DumpFiles() {
    for (const int handle : {from, to}) {
      if (handle > 0)
        CloseFile(handle);
    }
  }
};

}  // namespace

bool CheckWaveSettings(const WaveSettings& settings, int fromType, std::string* error) {
  if (!settings.pressure)
    return true;
  if (!IsGaugeDump(fromType)) {
    *error =
        "The pressure correction is for gauge dumps; this is a logger dump. Choose "
        "\"none\" as the pressure unit.";
    return false;
  }
  if (!(settings.pressure->sensorHeight >= 0.0)) {
    *error = "Give the sensor's height above the bed in metres.";
    return false;
  }
  if (!(settings.pressure->density > 0.0)) {
    *error = "Give the water's density in kg/m³, for example 1025.";
    return false;
  }
  return true;
}

std::string WaveTableCsv(const WaveTable& table) {
  std::string text = WaveCsvWriter::Header();
  if (text.empty() || text.back() != '\n')
    text += '\n';
  for (const WaveRow& row : table.rows) {
    text += row.csvLine;
    text += '\n';
  }
  return text;
}

WaveTable RunWaveStatistics(const ExportSource& source, const WaveSettings& settings,
                            const std::function<void(int64_t done, int64_t total)>& progress,
                            const std::function<bool()>& cancelRequested) {
  WaveTable table;
  if (source.dumpPath.empty()) {
    table.error = "There is no conversion to work out statistics for. Convert a dump first.";
    return table;
  }
  if (!CheckWaveSettings(settings, source.fromType, &table.error))
    return table;
  const WaveCsvWriter csv(settings);
  UtcStamps stamps;
  WaveSegmenter segmenter(
      settings, [&](WaveSegment&& segment) { table.rows.push_back(RowOf(segment, csv, &stamps)); });

  DumpFiles files;
  files.from = OpenFile(source.dumpPath.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  if (files.from < 0) {
    table.error = "The dump \"" + source.dumpPath + "\" cannot be opened: " + LastFileErrorText() +
                  ". Open it again and convert it.";
    return table;
  }
  // The legacy records of this run are not kept.
  files.to = OpenFile("/dev/null", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  if (files.to < 0) {
    table.error = std::string("The run could not start: ") + LastFileErrorText();
    return table;
  }
  ConversionRequest conversion;
  conversion.fromType = source.fromType;
  conversion.toType = ToTypeForFromType(source.fromType);
  conversion.correction = source.correction;
  conversion.lfLineEnds = source.lfLineEnds;
  conversion.fromHandle = files.from;
  conversion.toHandle = files.to;
  conversion.progress = progress;
  conversion.cancelRequested = cancelRequested;
  conversion.readings = &segmenter;
  const ConversionResult result = RunConversion(conversion);
  if (result.cancelled) {
    table.cancelled = true;
    table.rows.clear();
    return table;
  }
  segmenter.Finish();
  if (result.status != kStatusFinished && table.rows.empty()) {
    table.error =
        std::string("The dump could not be read to its end: ") + StatusMessage(result.status) + ".";
    return table;
  }
  table.ok = true;
  return table;
}
