#include "cli/wave_targets.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <utility>

#include "cli/quoting.h"
#include "runtime/byte_streams.h"

namespace {

constexpr size_t kWriteChunk = 64 * 1024;

}  // namespace

std::string WavesNameFor(const CliOptions& options, const std::string& to) {
  if (options.wavesTo != kWavesBesideOutput)
    return options.wavesTo;
  std::filesystem::path path(to);
  path.replace_extension();
  return path.string() + kWavesExtension;
}

WaveTargets::WaveTargets(const CliOptions& options, const TimeAxis& axis)
    : axis_(axis),
      settings_(options.waves),
      overwrite_(options.overwrite),
      csv_(options.waves),
      segmenter_(options.waves, [this](WaveSegment&& segment) { Take(std::move(segment)); }),
      background_(&segmenter_, [this] { segmenter_.Finish(); }) {}

WaveTargets::~WaveTargets() {
  background_.Stop();
  if (sink_ != nullptr)
    Abandon();
}

bool WaveTargets::Prepare(const std::string& path, dev_t fromDevice, ino_t fromInode,
                          std::string* error) {
  OutputPolicy policy;
  policy.overwrite = overwrite_;  // --overwrite replaces the statistics as it does the output
  const bool ready = path == "-" ? output_.PrepareStream(1, error)
                                 : output_.Prepare(path, policy, fromDevice, fromInode, error);
  if (!ready)
    return false;
  sink_ = output_.Sink();
  path_ = path;
  pending_ = WaveCsvWriter::Header();
  return true;
}

void WaveTargets::AddTo(NetcdfWriter* netcdf, const std::string& units) {
  keepForNetcdf_ = true;
  netcdfUnits_ = units;
  netcdf->AddCloseHook([this](int ncid, std::string* error) {
    for (KeptSegment& kept : kept_) {
      kept.start = axis_.Corrected(kept.start);
      kept.end = axis_.Corrected(kept.end);
    }
    return WriteWaveStatistics(ncid, kept_, settings_, netcdfUnits_, error);
  });
}

// ISO 8601 UTC of a reading, its clock corrected as the science outputs'
// times are; empty when it has none.
std::string WaveTargets::TimeText(double instrumentUtc) const {
  char text[kIsoUtcMillisecondsSize];
  return std::string(TimeText(instrumentUtc, text));
}

// The same in `text`, which holds kIsoUtcMillisecondsSize bytes.
std::string_view WaveTargets::TimeText(double instrumentUtc, char* text) const {
  if (std::isnan(instrumentUtc))
    return {};
  return {text, FormatIsoUtcMilliseconds(axis_.Corrected(instrumentUtc), text)};
}

void WaveTargets::Take(WaveSegment&& segment) {
  if (summary_.segments++ == 0) {
    summary_.firstHm0 = segment.analysis.spectral.hm0;
    summary_.firstTp = segment.analysis.spectral.tp;
  }
  const DumpTime& from = segment.start;
  const DumpTime& to = segment.end;
  const double start = axis_.InstrumentUtc(from.known, from.stamp, from.elapsed);
  const double end = axis_.InstrumentUtc(to.known, to.stamp, to.elapsed);
  if (!std::isnan(start)) {
    axis_.Place(start);
    axis_.Place(end);
  }
  if (sink_ != nullptr)
    TakeRow(segment, start, end);
  if (keepForNetcdf_)
    kept_.push_back(KeepForNetcdf(std::move(segment), start, end));
}

void WaveTargets::TakeRow(const WaveSegment& segment, double start, double end) {
  // Without a drift the correction is the same everywhere: rows go out as
  // they come. With one it needs the last reading's time.
  if (axis_.CorrectsAsItGoes()) {
    char startText[kIsoUtcMillisecondsSize];
    char endText[kIsoUtcMillisecondsSize];
    csv_.AddRow(&pending_, segment, TimeText(start, startText), TimeText(end, endText));
    if (pending_.size() >= kWriteChunk)
      Flush();
    return;
  }
  std::string row = csv_.Row(segment, "", "");
  held_.push_back({start, end, row.substr(1)});
}

void WaveTargets::Write(const std::string& text) {
  pending_ += text;
  if (pending_.size() >= kWriteChunk)
    Flush();
}

void WaveTargets::Flush() {
  if (pending_.empty() || failed())
    return;
  const long count = static_cast<long>(pending_.size());
  if (sink_->Write(pending_.data(), count) != count)
    Fail("cannot write the wave statistics " + QuotedName(path_) + ": the write failed");
  pending_.clear();
}

// The conversion asks failed() as it goes: the text is in place before it
// says so, and is not changed after.
void WaveTargets::Fail(std::string error) {
  if (failed())
    return;
  error_ = std::move(error);
  failed_.store(true, std::memory_order_release);
}

bool WaveTargets::Finish(std::string* error) {
  background_.Finish();
  if (sink_ == nullptr)
    return true;  // statistics for the NetCDF output alone
  for (const HeldRow& row : held_)
    Write(TimeText(row.start) + "," + TimeText(row.end) + row.rest);
  held_.clear();
  Flush();
  if (sink_->Flush() != 0)
    Fail("cannot write the wave statistics " + QuotedName(path_) + ": the last write failed");
  sink_ = nullptr;
  if (failed()) {
    *error = error_;
    output_.Abandon();
    return false;
  }
  placed_ = output_.Commit(error);
  return placed_;
}

void WaveTargets::TakeBack() {
  if (placed_ && path_ != "-")
    ::unlink(path_.c_str());
  placed_ = false;
}

void WaveTargets::Abandon() {
  background_.Stop();
  sink_ = nullptr;
  output_.Abandon();
}
