#include "science/netcdf_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "qc/reading_qc.h"
#include "science/barometer.h"
#include "science/qc_variables.h"
#include "science/quality_flags.h"
#include "science/station.h"

namespace {

constexpr const char* kTimeUnits = "seconds since 1970-01-01T00:00:00Z";
constexpr const char* kTimeDimension = "time";
constexpr const char* kTemperatureDimension = "temperature_time";
// The bursts' starts rise with the readings, so they are a coordinate of
// their own. Not named `burst`: xarray makes the per-reading `burst` a
// coordinate of that name, which a selection of one time turns into a
// scalar that clashes with the dimension.
constexpr const char* kBurstDimension = "burst_start_time";
constexpr size_t kChunkBursts = 1024;
constexpr float kChunkCachePreemption = 0.75f;
// A chunk cache smaller than any chunk; 0 bytes would keep HDF5's own cache.
constexpr size_t kNoChunkCache = 1;
// Fewer bytes per reading than a dump's lines hold ("4084," or "7.511,"),
// so that the chunk is no smaller than the dump's readings.
constexpr int64_t kDumpBytesPerReading = 4;
// A line of a dump holds at most one temperature and at least a few
// readings.
constexpr size_t kReadingsPerTemperature = 8;
// Chunks handed to the writing thread and not yet taken. With two, on a
// busy machine each thread waited for the other for most of a second of a
// 200 MB dump's conversion, whenever other work held one of them up; eight
// let the writing thread go on (about a megabyte each).
constexpr size_t kChunksWaiting = 8;

enum class Deflate { kYes, kNo };

// Chunked, shuffled and deflated (unless told not to), with no fill (every
// value is written). Chunks are written whole, in order. A deflated chunk
// is compressed in a cache of one chunk; HDF5 writes a plain chunk larger
// than its cache straight from the caller's values instead of copying them
// into the cache first, so a plain variable has no cache.
NetcdfVariable& AddSeries(NetcdfLayout* layout, const char* name, NetcdfType type,
                          const char* dimension, size_t chunk, size_t valueBytes,
                          Deflate deflate = Deflate::kYes) {
  NetcdfVariable& variable = layout->AddVariable(name, type, {dimension});
  variable.chunks = {chunk};
  variable.deflate = deflate == Deflate::kYes;
  variable.fill = NetcdfFill::kNone;
  variable.cacheBytes = variable.deflate ? chunk * valueBytes + 1 : kNoChunkCache;
  return variable;
}

NetcdfVariable& AddTimeSeries(NetcdfLayout* layout, const char* name, const char* dimension,
                              size_t chunk) {
  return AddSeries(layout, name, NetcdfType::kDouble, dimension, chunk, sizeof(double))
      .Attribute("units", kTimeUnits)
      .Attribute("standard_name", "time")
      .Attribute("calendar", "standard");
}

}  // namespace

// The readings of one chunk, in arrays of the chunk's length that are
// filled again once written.
struct NetcdfWriter::ReadingChunk {
  ReadingChunk(size_t capacity, bool gauge, const VariableTests& tests)
      : times(new double[capacity]),
        values(new double[capacity]),
        flags(new signed char[capacity]),
        bursts(gauge ? new int[capacity] : nullptr),
        grossRange(new signed char[capacity]),
        spike(tests.spike ? new signed char[capacity] : nullptr),
        rateOfChange(tests.rateOfChange ? new signed char[capacity] : nullptr),
        flatLine(tests.flatLine ? new signed char[capacity] : nullptr) {}

  size_t count = 0;
  std::unique_ptr<double[]> times;
  std::unique_ptr<double[]> values;
  std::unique_ptr<signed char[]> flags;  // the aggregate
  std::unique_ptr<int[]> bursts;         // gauge dumps
  // Each test's flags; those of the tests not configured are null.
  std::unique_ptr<signed char[]> grossRange;
  std::unique_ptr<signed char[]> spike;
  std::unique_ptr<signed char[]> rateOfChange;
  std::unique_ptr<signed char[]> flatLine;
};

size_t NetcdfWriter::ChunkReadingsFor(int64_t dumpBytes) {
  if (dumpBytes < 0)
    return kChunkReadings;
  const auto readings = static_cast<size_t>(dumpBytes / kDumpBytesPerReading + 1);
  return std::clamp(std::bit_ceil(readings), kSmallestChunkReadings, kChunkReadings);
}

NetcdfWriter::NetcdfWriter(ScienceSettings settings, ReadingTests* tests)
    : settings_(std::move(settings)),
      axis_(settings_.zone, settings_.clock),
      chunkReadings_(ChunkReadingsFor(settings_.dumpBytes)),
      chunkTemperatures_(chunkReadings_ / kReadingsPerTemperature),
      ownTests_(tests == nullptr ? std::make_unique<ReadingTests>(settings_, nullptr) : nullptr),
      tests_(tests == nullptr ? ownTests_.get() : tests) {}

NetcdfWriter::~NetcdfWriter() {
  Abandon();
}

bool NetcdfWriter::Create(const std::string& path, const std::string& shownName,
                          std::string* error) {
  if (!ownFile_.Create(path, shownName, Layout())) {
    ownFile_.Drop();
    *error = ownFile_.error();
    return false;
  }
  StartWriting();
  return true;
}

bool NetcdfWriter::CreateIn(NetcdfStore* store, std::string* error) {
  file_ = store;
  if (!file_->Define(Layout())) {
    file_->Drop();
    *error = file_->error();
    return false;
  }
  StartWriting();
  return true;
}

void NetcdfWriter::StartWriting() {
  FindVariables();
  open_ = true;
  filling_ = TakeEmptyChunk();
  writer_ = std::make_unique<Worker>(kChunksWaiting);
}

std::shared_ptr<NetcdfWriter::ReadingChunk> NetcdfWriter::TakeEmptyChunk() {
  {
    const std::lock_guard<std::mutex> hold(spareMutex_);
    if (!spare_.empty()) {
      std::shared_ptr<ReadingChunk> chunk = std::move(spare_.back());
      spare_.pop_back();
      chunk->count = 0;
      return chunk;
    }
  }
  return std::make_shared<ReadingChunk>(chunkReadings_, settings_.gauge, settings_.qc.reading);
}

NetcdfLayout NetcdfWriter::Layout() const {
  NetcdfLayout layout;
  layout.AddDimension(kTimeDimension);
  layout.AddDimension(kTemperatureDimension);
  // The dimension before the variable of its name: HDF5 refuses the other order.
  if (settings_.gauge)
    layout.AddDimension(kBurstDimension);
  AddTimeSeries(&layout, "time", kTimeDimension, chunkReadings_)
      .Attribute("axis", "T")
      .Attribute("long_name", "time of the reading")
      .Attribute("comment", TimeComment(settings_));
  AddStation(&layout, settings_);
  const std::string coordinates = "time " + StationCoordinates(settings_);
  // Scaled counts as doubles shrink by less than a fifth when deflated,
  // at more than the cost of the rest of the file: chunked, not deflated.
  NetcdfVariable& reading = AddSeries(&layout, "reading", NetcdfType::kDouble, kTimeDimension,
                                      chunkReadings_, sizeof(double), Deflate::kNo);
  reading
      .Attribute("long_name", settings_.barometer ? "sea pressure"
                              : settings_.gauge   ? "gauge reading"
                                                  : "staff length reading")
      .Attribute("units", ReadingUnits(settings_));
  if (settings_.barometer) {
    for (const Attribute& told : BarometerAttributes(*settings_.barometer, ReadingUnits(settings_)))
      reading.Attribute(told.name, NetcdfValueOf(told.value));
  }
  if (const std::string name = ReadingStandardName(settings_); !name.empty())
    reading.Attribute("standard_name", name);
  reading.Attribute("ancillary_variables", ReadingFlagVariables(settings_.qc.reading))
      .Attribute("coordinates", coordinates);
  NetcdfVariable& aggregate =
      AddSeries(&layout, kAggregateVariable, NetcdfType::kByte, kTimeDimension, chunkReadings_, 1);
  DescribeAsAggregate(&aggregate);
  aggregate.Attribute("coordinates", coordinates);
  AddReadingTestVariables(&layout, settings_.qc.reading, kTimeDimension, chunkReadings_,
                          coordinates);
  AddTimeSeries(&layout, kTemperatureDimension, kTemperatureDimension, chunkTemperatures_)
      .Attribute("long_name", "time of the first reading in this file of the temperature's line");
  // Deflated, the temperatures took a tenth of the writing thread's
  // time for a few percent of the file: chunked, not deflated.
  NetcdfVariable& temperature =
      AddSeries(&layout, "temperature", NetcdfType::kDouble, kTemperatureDimension,
                chunkTemperatures_, sizeof(double), Deflate::kNo);
  temperature.Attribute("long_name", "temperature of the line's extra value")
      .Attribute("units", "degree_C")
      .Attribute("standard_name", "sea_water_temperature");
  // Off the time axis, cdo skips a variable whose coordinates begin with
  // no position, or name a vertical one (it took temperature_time for that).
  if (settings_.position)
    temperature.Attribute("coordinates", StationCoordinates(settings_, WithVertical::kNo));
  if (settings_.gauge) {
    AddSeries(&layout, "burst", NetcdfType::kInt, kTimeDimension, chunkReadings_, sizeof(int))
        .Attribute("long_name", "index of the reading's burst")
        .Attribute("comment",
                   "a burst is the run of readings after one date stamp; the header's date opens "
                   "burst 0")
        .Attribute("coordinates", coordinates);
    NetcdfVariable& starts = AddSeries(&layout, "burst_start_time", NetcdfType::kDouble,
                                       kBurstDimension, kChunkBursts, sizeof(double));
    starts.Attribute("units", kTimeUnits)
        .Attribute("standard_name", "time")
        .Attribute("calendar", "standard")
        .Attribute("long_name", "time of the burst's first reading")
        .Attribute("comment",
                   "one entry for each burst with readings in this file, in the order of their "
                   "burst indices, as grouping the readings by burst gives them");
  }
  return layout;
}

void NetcdfWriter::FindVariables() {
  timeVar_ = file_->Variable("time");
  readingVar_ = file_->Variable("reading");
  flagVar_ = file_->Variable(kAggregateVariable);
  grossRangeVar_ = file_->Variable(kGrossRangeFlagName);
  const VariableTests& tests = settings_.qc.reading;
  if (tests.spike)
    spikeVar_ = file_->Variable(kSpikeFlagName);
  if (tests.rateOfChange)
    rateOfChangeVar_ = file_->Variable(kRateOfChangeFlagName);
  if (tests.flatLine)
    flatLineVar_ = file_->Variable(kFlatLineFlagName);
  temperatureTimeVar_ = file_->Variable(kTemperatureDimension);
  temperatureVar_ = file_->Variable("temperature");
  if (settings_.gauge) {
    burstVar_ = file_->Variable("burst");
    burstStartVar_ = file_->Variable("burst_start_time");
  }
}

void NetcdfWriter::OnReadings(const ReadingLine& line) {
  if (ownTests_)
    ownTests_->OnReadings(line);
  double stampUtc = 0.0;
  if (!open_ || failed() || !axis_.LineStampUtc(line, &stampUtc)) {
    facts_.Leave(line);
    return;
  }
  stampMoved_ = axis_.StampMoved();
  const int leftOut = rising_.LeftOut(line, stampUtc);
  facts_.notRising += leftOut;
  PassLeftOut(leftOut);
  if (leftOut == line.count) {
    // The clock's drift runs to the dump's last reading, kept or not, as
    // in the tidy CSV.
    const double lastTime = ReadingTime(line, stampUtc, line.count - 1);
    axis_.Place(lastTime);
    facts_.last = lastTime;
    return;
  }
  // The line's first reading in the file: the temperature's time and the
  // burst's start rise with the readings.
  const double firstTime = ReadingTime(line, stampUtc, leftOut);
  if (settings_.gauge)
    PlaceBurst(line, firstTime);
  if (line.hasTemperature) {
    temperatureTimes_.push_back(firstTime);
    temperatures_.push_back(line.temperature);
    if (temperatureTimes_.size() == chunkTemperatures_)
      FlushTemperatures();
  }
  for (int done = leftOut; done < line.count;) {
    const size_t room = chunkReadings_ - filling_->count;
    const int count = static_cast<int>(std::min(room, static_cast<size_t>(line.count - done)));
    FillReadings(line, stampUtc, done, count);
    done += count;
    if (filling_->count == chunkReadings_)
      HoldFullChunk();
  }
}

// The times of ReadingTime, in a loop the compiler runs on several readings
// at once: the reading's index since the stamp is a whole number well within
// a double's exact range, so counting it in doubles gives the same times.
void NetcdfWriter::FillTimes(const ReadingLine& line, double stampUtc, int from, int count,
                             double* times) {
  const double first = static_cast<double>(line.sinceStamp + from);
  const double rate = line.sampleRate;
  for (int i = 0; i < count; ++i)
    times[i] = stampUtc + (first + i) / rate;
}

// Most lines are plain, or all suspect under a stamp that went back or that
// a spring-forward gap moved: their flags need no look at each reading.
void NetcdfWriter::FillFlags(const ReadingLine& line, int from, int count, signed char* flags) {
  if (line.notes == nullptr) {
    const QualityFlag flag = line.stampWentBack || stampMoved_ ? kFlagSuspect : kFlagGood;
    std::fill_n(flags, count, static_cast<signed char>(flag));
    facts_.suspect += flag == kFlagSuspect ? count : 0;
    return;
  }
  // Counted aside: the flags are bytes, which may alias the counts.
  int64_t bad = 0;
  int64_t suspect = 0;
  for (int i = 0; i < count; ++i) {
    const QualityFlag flag = FlagOf(line, from + i, stampMoved_);
    flags[i] = flag;
    bad += flag == kFlagBad ? 1 : 0;
    suspect += flag == kFlagSuspect ? 1 : 0;
  }
  facts_.notANumber += bad;
  facts_.suspect += suspect;
}

// Readings `from` to `from + count` of `line`, into the chunk being filled.
void NetcdfWriter::FillReadings(const ReadingLine& line, double stampUtc, int from, int count) {
  ReadingChunk& chunk = *filling_;
  const size_t at = chunk.count;
  double* times = chunk.times.get() + at;
  FillTimes(line, stampUtc, from, count, times);
  std::copy_n(line.values + from, count, chunk.values.get() + at);
  FillFlags(line, from, count, chunk.flags.get() + at);
  TakeTestFlags(from, count);
  if (settings_.gauge)
    std::fill_n(chunk.bursts.get() + at, count, static_cast<int>(line.burst));
  // A line's times rise: its first and last reading are its extremes.
  facts_.PlaceRising(times[0], times[count - 1], count);
  axis_.Place(times[0]);
  axis_.Place(times[count - 1]);
  chunk.count += static_cast<size_t>(count);
}

// Each reading completes the flags of the one tested before it (the spike
// test looks one ahead): the first one's go where the reading before went,
// which may be a full chunk waiting for them; the others' into this chunk,
// a test at a time.
void NetcdfWriter::TakeTestFlags(int from, int count) {
  ReadingChunk& chunk = *filling_;
  const size_t at = chunk.count;
  ReadingFlags completed;
  if (tests_->CompletedBy(from, &completed))
    PlaceTestFlags(completed);
  const ReadingFlags* done = tests_->CompletedFrom(from + 1);
  const size_t placed = static_cast<size_t>(count - 1);
  auto fill = [&](signed char* flags, QualityFlag ReadingFlags::*test) {
    if (flags != nullptr) {
      for (size_t i = 0; i < placed; ++i)
        flags[at + i] = done[i].*test;
    }
  };
  fill(chunk.flags.get(), &ReadingFlags::aggregate);
  fill(chunk.grossRange.get(), &ReadingFlags::grossRange);
  fill(chunk.spike.get(), &ReadingFlags::spike);
  fill(chunk.rateOfChange.get(), &ReadingFlags::rateOfChange);
  fill(chunk.flatLine.get(), &ReadingFlags::flatLine);
  heldChunk_ = &chunk;
  heldIndex_ = at + placed;
  if (waiting_ != nullptr)
    PostChunk(std::move(waiting_));
}

// The line's first `count` readings are tested but not written: the flags
// they complete are the last placed reading's, at most.
void NetcdfWriter::PassLeftOut(int count) {
  ReadingFlags completed;
  for (int i = 0; i < count; ++i) {
    if (tests_->CompletedBy(i, &completed))
      PlaceTestFlags(completed);
    heldChunk_ = nullptr;
  }
  if (count > 0 && waiting_ != nullptr)
    PostChunk(std::move(waiting_));
}

void NetcdfWriter::PlaceTestFlags(const ReadingFlags& flags) {
  if (heldChunk_ == nullptr)
    return;
  ReadingChunk& chunk = *heldChunk_;
  const size_t i = heldIndex_;
  chunk.flags[i] = flags.aggregate;
  chunk.grossRange[i] = flags.grossRange;
  if (chunk.spike)
    chunk.spike[i] = flags.spike;
  if (chunk.rateOfChange)
    chunk.rateOfChange[i] = flags.rateOfChange;
  if (chunk.flatLine)
    chunk.flatLine[i] = flags.flatLine;
}

// Only a burst with readings in the file has a start, so every start is a
// time: the starts follow one another as grouping the readings by `burst`
// gives their groups.
void NetcdfWriter::PlaceBurst(const ReadingLine& line, double firstTime) {
  if (line.burst < nextBurst_)
    return;
  burstStarts_.push_back(firstTime);
  nextBurst_ = line.burst + 1;
  if (burstStarts_.size() == kChunkBursts)
    FlushBursts();
}

void NetcdfWriter::OnFillers(int64_t, int64_t, int count) {
  facts_.fillers += count;
}

// A full chunk waits for its last reading's flags, which the next reading
// gives.
void NetcdfWriter::HoldFullChunk() {
  waiting_ = std::move(filling_);
  filling_ = TakeEmptyChunk();
}

// The last reading's flags, then every chunk to the writing thread.
void NetcdfWriter::FlushReadings() {
  ReadingFlags last;
  if (tests_->Last(&last))
    PlaceTestFlags(last);
  if (waiting_ != nullptr)
    PostChunk(std::move(waiting_));
  if (filling_ != nullptr && filling_->count > 0) {
    PostChunk(std::move(filling_));
    filling_ = TakeEmptyChunk();
  }
}

// The buffers go to the writing thread whole; new ones take their place.
void NetcdfWriter::PostChunk(std::shared_ptr<ReadingChunk> chunk) {
  if (failed() || writer_ == nullptr)
    return;  // nothing more is written
  const size_t start = readingsHanded_;
  readingsHanded_ += chunk->count;
  writer_->Post([this, start, chunk = std::move(chunk)]() mutable {
    WriteReadings(start, *chunk);
    const std::lock_guard<std::mutex> hold(spareMutex_);
    spare_.push_back(std::move(chunk));
  });
}

void NetcdfWriter::FlushTemperatures() {
  if (temperatureTimes_.empty() || failed() || writer_ == nullptr)
    return;
  const size_t start = temperaturesHanded_;
  temperaturesHanded_ += temperatureTimes_.size();
  writer_->Post(
      [this, start, times = std::move(temperatureTimes_), temperatures = std::move(temperatures_)] {
        WriteTemperatures(start, times, temperatures);
      });
  temperatureTimes_ = {};
  temperatures_ = {};
  temperatureTimes_.reserve(chunkTemperatures_);
  temperatures_.reserve(chunkTemperatures_);
}

void NetcdfWriter::FlushBursts() {
  if (burstStarts_.empty() || failed() || writer_ == nullptr)
    return;
  const size_t start = burstsHanded_;
  burstsHanded_ += burstStarts_.size();
  writer_->Post([this, start, starts = std::move(burstStarts_)] { WriteBursts(start, starts); });
  burstStarts_ = {};
}

void NetcdfWriter::WriteReadings(size_t start, const ReadingChunk& chunk) {
  const size_t count = chunk.count;
  if (failed() || !file_->Put(timeVar_, start, count, chunk.times.get()) ||
      !file_->Put(readingVar_, start, count, chunk.values.get()) ||
      !file_->Put(flagVar_, start, count, chunk.flags.get()) ||
      !file_->Put(grossRangeVar_, start, count, chunk.grossRange.get()) ||
      (chunk.spike && !file_->Put(spikeVar_, start, count, chunk.spike.get())) ||
      (chunk.rateOfChange &&
       !file_->Put(rateOfChangeVar_, start, count, chunk.rateOfChange.get())) ||
      (chunk.flatLine && !file_->Put(flatLineVar_, start, count, chunk.flatLine.get())) ||
      (settings_.gauge && !file_->Put(burstVar_, start, count, chunk.bursts.get())))
    return;
  readingsWritten_ += count;
  // The hook may wait for the disk: the library is free by now.
  if (chunkWritten_)
    chunkWritten_();
}

void NetcdfWriter::WriteTemperatures(size_t start, const std::vector<double>& times,
                                     const std::vector<double>& temperatures) {
  if (!failed() && file_->Put(temperatureTimeVar_, start, times.size(), times.data()) &&
      file_->Put(temperatureVar_, start, temperatures.size(), temperatures.data()))
    temperaturesWritten_ += times.size();
}

void NetcdfWriter::WriteBursts(size_t start, const std::vector<double>& starts) {
  if (!failed() && file_->Put(burstStartVar_, start, starts.size(), starts.data()))
    burstsWritten_ += starts.size();
}

bool NetcdfWriter::CorrectVariable(NetcdfVariableId variable, size_t length) {
  std::vector<double> chunk;
  for (size_t start = 0; start < length; start += kChunkReadings) {
    const size_t count = std::min(kChunkReadings, length - start);
    chunk.resize(count);
    if (!file_->Get(variable, start, count, chunk.data()))
      return false;
    for (double& t : chunk)
      t = axis_.Corrected(t);
    if (!file_->Put(variable, start, count, chunk.data()))
      return false;
  }
  return true;
}

// The error at the last reading is known only now: the times written as
// the instrument kept them are read back a chunk at a time and corrected.
bool NetcdfWriter::CorrectTimes() {
  if (!axis_.Corrects())
    return true;
  return CorrectVariable(timeVar_, readingsWritten_) &&
         CorrectVariable(temperatureTimeVar_, temperaturesWritten_) &&
         (!settings_.gauge || CorrectVariable(burstStartVar_, burstsWritten_));
}

bool NetcdfWriter::WriteAttributes(RunFacts run) {
  run.coverageStart = axis_.Corrected(facts_.earliest);
  run.coverageEnd = axis_.Corrected(facts_.latest);
  std::vector<NetcdfAttribute> globals;
  for (const Attribute& attribute : GlobalAttributes(settings_, facts_, run))
    globals.push_back({attribute.name, NetcdfValueOf(attribute.value)});
  if (!file_->PutGlobals(globals))
    return false;
  return run.result == nullptr ||
         file_->PutAttributes(flagVar_, {{"comment", QualityComment(run.result->report)}});
}

bool NetcdfWriter::Finish(const RunFacts& run, std::string* error) {
  if (!open_) {
    *error = failed() ? this->error() : "the NetCDF output is not open";
    return false;
  }
  open_ = false;
  FlushReadings();
  FlushTemperatures();
  FlushBursts();
  writer_->Drain();
  writer_->Stop();
  // The station's values with the attributes: the file's creation writes
  // no more than its description.
  const bool ok = !failed() && CorrectTimes() && WriteStation(file_, settings_) &&
                  WriteAttributes(run) && file_->Close();
  if (!ok) {
    file_->Drop();
    *error = this->error();
  }
  return ok;
}

void NetcdfWriter::Abandon() {
  // The chunks still waiting are dropped; the one being written ends first.
  if (writer_ != nullptr)
    writer_->Stop();
  open_ = false;
  file_->Drop();
}

NetcdfValue NetcdfValueOf(const AttributeValue& value) {
  if (const auto* text = std::get_if<std::string>(&value))
    return *text;
  if (const auto* number = std::get_if<double>(&value))
    return *number;
  if (const auto* large = std::get_if<uint64_t>(&value))
    return static_cast<unsigned long long>(*large);
  const int64_t whole = std::get<int64_t>(value);
  if (whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())
    return static_cast<int>(whole);
  return static_cast<long long>(whole);
}
