#include "outputs/wave_capture.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

#include "convert/dump_types.h"
#include "convert/status.h"
#include "outputs/safe_output.h"
#include "science/time_base.h"
#include "waves/background_listener.h"
#include "waves/segmenter.h"
#include "waves/wave_csv.h"

namespace {

// The UTC time of a time on the dump's clock, as the science outputs read
// it; NaN when unknown.
double UtcOf(const DumpTime& time, TimeAxis* axis) {
  return axis->InstrumentUtc(time.known, time.stamp, time.elapsed);
}

std::string IsoOrEmpty(double utc) {
  return std::isnan(utc) ? std::string() : IsoUtcMilliseconds(utc);
}

WaveRow RowOf(const WaveSegment& segment, const WaveCsvWriter& csv, TimeAxis* axis) {
  WaveRow row;
  row.start = UtcOf(segment.start, axis);
  row.end = UtcOf(segment.end, axis);
  row.samples = segment.readings;
  const SegmentAnalysis& analysis = segment.analysis;
  row.mean = analysis.mean;
  row.hm0 = analysis.spectral.hm0;
  row.tp = analysis.spectral.tp;
  row.fp = analysis.spectral.fp;
  row.hs = analysis.zeroCrossing.hs;
  row.tz = analysis.zeroCrossing.tz;
  row.waves = analysis.zeroCrossing.waves;
  row.suspect = segment.flag != SegmentFlag::Good;
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

WaveCapture::WaveCapture(const WaveSettings& settings, int fromType, const Zone& zone) {
  table_.settings = settings;
  std::string unfit;
  if (!CheckWaveSettings(settings, fromType, &unfit)) {
    table_.settings.pressure.reset();
    table_.note = unfit + " These statistics are of the readings as converted.";
  }
  // The rows are made on the statistics' thread; the table is read only
  // after Finish has waited for it.
  auto csv = std::make_shared<WaveCsvWriter>(table_.settings);
  auto axis = std::make_shared<TimeAxis>(zone);
  segmenter_ =
      std::make_unique<WaveSegmenter>(table_.settings, [this, csv, axis](WaveSegment&& segment) {
        table_.rows.push_back(RowOf(segment, *csv, axis.get()));
      });
  background_ =
      std::make_unique<BackgroundListener>(segmenter_.get(), [this] { segmenter_->Finish(); });
}

// The thread ends before the segmenter and the table it fills go.
WaveCapture::~WaveCapture() {
  background_.reset();
}

ReadingListener* WaveCapture::listener() {
  return background_.get();
}

WaveTable WaveCapture::Finish(bool cancelled, int status) {
  if (cancelled) {
    background_->Stop();
    table_.rows.clear();
    table_.cancelled = true;
    return std::move(table_);
  }
  try {
    background_->Finish();
  } catch (const std::exception& failure) {
    table_.rows.clear();
    table_.error = std::string("The wave statistics could not be worked out: ") + failure.what() +
                   ". Close other programs and convert again.";
    return std::move(table_);
  }
  if (status != kStatusFinished && table_.rows.empty()) {
    table_.error =
        std::string("The dump could not be read to its end: ") + StatusMessage(status) + ".";
    return std::move(table_);
  }
  table_.ok = true;
  return std::move(table_);
}

bool SaveWaveTable(const WaveTable& table, const std::string& path, const std::string& dumpPath,
                   bool replace, std::string* error) {
  struct stat dump {};
  const bool dumpKnown = !dumpPath.empty() && ::stat(dumpPath.c_str(), &dump) == 0;
  OutputPolicy policy;
  policy.overwrite = replace;
  policy.appendAllowed = false;
  SafeOutput output;
  if (!output.Prepare(path, policy, dumpKnown ? dump.st_dev : 0, dumpKnown ? dump.st_ino : 0,
                      error))
    return false;
  const std::string text = WaveTableCsv(table);
  const long length = static_cast<long>(text.size());
  if (output.Sink()->Write(text.data(), length) != length || output.Sink()->Flush() != 0) {
    const int failure = errno;
    output.Abandon();
    *error = "could not write " + path + ": " + std::strerror(failure);
    return false;
  }
  return output.Commit(error);
}
