#include "outputs/wave_targets.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <utility>
#include <variant>

#include "outputs/quoting.h"
#include "runtime/byte_streams.h"
#include "science/netcdf_writer.h"
#include "science/station.h"

namespace {

constexpr size_t kWriteChunk = 64 * 1024;

}  // namespace

WaveTargets::WaveTargets(const WaveSettings& settings, const TimeAxis& axis)
    : axis_(axis),
      settings_(settings),
      csv_(settings),
      segmenter_(settings, [this](WaveSegment&& segment) { Take(std::move(segment)); }),
      background_(&segmenter_, [this] { segmenter_.Finish(); }) {}

WaveTargets::~WaveTargets() {
  background_.Stop();
}

void WaveTargets::WriteCsvTo(ByteSink* sink, const std::string& shown) {
  sink_ = sink;
  path_ = shown;
  pending_ = WaveCsvWriter::Header();
}

bool WaveTargets::OpenNetcdf(const std::string& path, const std::string& shown,
                             const ScienceSettings& science, const std::string& units,
                             WaveNetcdfWriter::StandardNameFor nameFor, std::string* error) {
  netcdfFile_ = std::make_unique<NetcdfFile>();
  if (!netcdfFile_->Create(path, shown, NetcdfLayout{})) {
    *error = netcdfFile_->error();
    netcdfFile_->Drop();
    netcdfFile_ = nullptr;
    return false;
  }
  OpenNetcdfIn(netcdfFile_.get(), science, units, std::move(nameFor));
  return true;
}

void WaveTargets::OpenNetcdfIn(NetcdfStore* store, const ScienceSettings& science,
                               const std::string& units,
                               WaveNetcdfWriter::StandardNameFor nameFor) {
  science_ = science;
  store_ = store;
  WaveNetcdfStation station;
  AddStation(&station.layout, science_);
  station.coordinates = StationCoordinates(science_);
  netcdf_ = std::make_unique<WaveNetcdfWriter>(store_, settings_, units, std::move(nameFor),
                                               std::move(station));
}

bool WaveTargets::CloseNetcdf(const ReadingFacts& facts, RunFacts run, std::string* error) {
  if (store_ == nullptr)
    return true;
  bool ok = netcdfWritten_ && !store_->failed();
  if (ok) {
    run.coverageStart = netcdf_->coverageStart();
    run.coverageEnd = netcdf_->coverageEnd();
    std::vector<NetcdfAttribute> globals;
    for (const Attribute& attribute : StatisticsAttributes(facts, run))
      globals.push_back({attribute.name, NetcdfValueOf(attribute.value)});
    ok = WriteStation(store_, science_) && store_->PutGlobals(globals) && store_->Close();
  }
  if (!ok) {
    *error =
        store_->failed() ? store_->error() : "the wave statistics' NetCDF file was not finished";
    store_->Drop();
  }
  netcdf_ = nullptr;
  netcdfFile_ = nullptr;
  store_ = nullptr;
  return ok;
}

// The readings' file's attributes, with what is the statistics' own.
std::vector<Attribute> WaveTargets::StatisticsAttributes(const ReadingFacts& facts,
                                                         const RunFacts& run) const {
  std::vector<Attribute> list = GlobalAttributes(science_, facts, run);
  std::string title = "Wave statistics from " + science_.sourceName;
  for (const Attribute& given : science_.attributes) {
    if (given.name == "title" && std::holds_alternative<std::string>(given.value))
      title = std::get<std::string>(given.value) + ": wave statistics";
  }
  SetAttribute(&list, "title", title);
  SetAttribute(&list, "summary",
               "The sea state of every " + std::string(science_.gauge ? "burst" : "segment") +
                   " of the dump: spectral and zero up-crossing statistics and the variance "
                   "spectral density by Welch's method on one frequency grid, at the time of the "
                   "segment's first reading.");
  SetAttribute(&list, "segments_out_of_time_order", static_cast<int64_t>(netcdf_->leftOut()));
  if (!science_.gauge)
    SetAttribute(&list, "time_coverage_resolution", IsoDurationSeconds(settings_.segmentSeconds));
  else if (run.result != nullptr && run.result->report.gauge.values.burstInterval > 0)
    SetAttribute(&list, "time_coverage_resolution",
                 IsoDurationSeconds(run.result->report.gauge.values.burstInterval * 60.0));
  if (netcdf_->segments() == 0) {
    std::erase_if(list, [](const Attribute& attribute) {
      return attribute.name.starts_with("time_coverage_");
    });
  }
  return list;
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
  if (netcdf_ != nullptr && !netcdf_->Add(segment, start, end))
    Fail(store_->error());
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
    Fail("cannot write the wave statistics " + QuotedName(path_) + ": " +
         std::strerror(sink_->error() != 0 ? sink_->error() : EIO));
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
  return WriteWhatIsLeft(error);
}

void WaveTargets::Stop() {
  background_.Stop();
  std::string ignored;
  WriteWhatIsLeft(&ignored);
}

void WaveTargets::Abandon() {
  background_.Stop();
  netcdf_ = nullptr;
  if (store_ != nullptr)
    store_->Drop();
  netcdfFile_ = nullptr;
  store_ = nullptr;
  sink_ = nullptr;
}

bool WaveTargets::WriteWhatIsLeft(std::string* error) {
  if (netcdf_ != nullptr && !netcdfWritten_) {
    netcdfWritten_ = true;
    if (!netcdf_->Finish([this](double instrumentUtc) { return axis_.Corrected(instrumentUtc); }))
      Fail(store_->error());
  }
  if (sink_ != nullptr) {
    for (const HeldRow& row : held_)
      Write(TimeText(row.start) + "," + TimeText(row.end) + row.rest);
    held_.clear();
    Flush();
    if (sink_->Flush() != 0)
      Fail("cannot write the wave statistics " + QuotedName(path_) + ": " +
           std::strerror(sink_->error() != 0 ? sink_->error() : EIO));
    sink_ = nullptr;
  }
  if (failed()) {
    *error = error_;
    return false;
  }
  return true;
}
