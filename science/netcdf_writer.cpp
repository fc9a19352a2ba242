#include "science/netcdf_writer.h"

#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "science/quality_flags.h"

namespace {

// The NetCDF library, and the HDF5 library below it as Debian builds it, keep
// state of their own that is not safe across threads; the command line's
// --jobs and the desktop's export run writers in threads, so every entry
// that reaches the library holds this one lock.
std::recursive_mutex& LibraryLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

namespace {

constexpr const char* kTimeUnits = "seconds since 1970-01-01T00:00:00Z";
constexpr const char* kTimeDimension = "time";
constexpr const char* kTemperatureDimension = "temperature_time";
// The per-reading `burst` variable shares the name: grouping the readings
// by it in xarray gives a `burst` dimension that lines up with
// `burst_start_time`.
constexpr const char* kBurstDimension = "burst";
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

bool PutText(int ncid, int variable, const char* name, const std::string& text) {
  return nc_put_att_text(ncid, variable, name, text.size(), text.c_str()) == NC_NOERR;
}

bool PutAttribute(int ncid, const Attribute& attribute) {
  const char* name = attribute.name.c_str();
  if (const auto* text = std::get_if<std::string>(&attribute.value))
    return PutText(ncid, NC_GLOBAL, name, *text);
  if (const auto* number = std::get_if<double>(&attribute.value))
    return nc_put_att_double(ncid, NC_GLOBAL, name, NC_DOUBLE, 1, number) == NC_NOERR;
  const int64_t whole = std::get<int64_t>(attribute.value);
  if (whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max()) {
    const int narrow = static_cast<int>(whole);
    return nc_put_att_int(ncid, NC_GLOBAL, name, NC_INT, 1, &narrow) == NC_NOERR;
  }
  const long long wide = whole;
  return nc_put_att_longlong(ncid, NC_GLOBAL, name, NC_INT64, 1, &wide) == NC_NOERR;
}

enum class Deflate { kYes, kNo };

// Chunked, shuffled and deflated (unless told not to), with no fill (every
// value is written). Chunks are written whole, in order. A deflated chunk
// is compressed in a cache of one chunk; HDF5 writes a plain chunk larger
// than its cache straight from the caller's values instead of copying them
// into the cache first, so a plain variable has no cache.
int DefineSeries(int ncid, const char* name, nc_type type, int dimension, size_t chunk,
                 size_t valueBytes, int* variable, Deflate deflate = Deflate::kYes) {
  int status = nc_def_var(ncid, name, type, 1, &dimension, variable);
  if (status == NC_NOERR)
    status = nc_def_var_chunking(ncid, *variable, NC_CHUNKED, &chunk);
  if (status == NC_NOERR && deflate == Deflate::kYes)
    status = nc_def_var_deflate(ncid, *variable, NC_SHUFFLE, 1, NetcdfWriter::kDeflateLevel);
  if (status == NC_NOERR)
    status = nc_def_var_fill(ncid, *variable, NC_NOFILL, nullptr);
  const size_t cacheBytes = deflate == Deflate::kYes ? chunk * valueBytes + 1 : kNoChunkCache;
  if (status == NC_NOERR)
    status = nc_set_var_chunk_cache(ncid, *variable, cacheBytes, 1, kChunkCachePreemption);
  return status;
}

int PutSeries(int ncid, int variable, size_t start, size_t count, const double* values) {
  return nc_put_vara_double(ncid, variable, &start, &count, values);
}

int PutSeries(int ncid, int variable, size_t start, size_t count, const signed char* values) {
  return nc_put_vara_schar(ncid, variable, &start, &count, values);
}

int PutSeries(int ncid, int variable, size_t start, size_t count, const int* values) {
  return nc_put_vara_int(ncid, variable, &start, &count, values);
}

template <typename T>
int PutSeries(int ncid, int variable, size_t start, const std::vector<T>& values) {
  return PutSeries(ncid, variable, start, values.size(), values.data());
}

}  // namespace

// The readings of one chunk, in arrays of the chunk's length that are
// filled again once written.
struct NetcdfWriter::ReadingChunk {
  ReadingChunk(size_t capacity, bool gauge)
      : times(new double[capacity]),
        values(new double[capacity]),
        flags(new signed char[capacity]),
        bursts(gauge ? new int[capacity] : nullptr) {}

  size_t count = 0;
  std::unique_ptr<double[]> times;
  std::unique_ptr<double[]> values;
  std::unique_ptr<signed char[]> flags;
  std::unique_ptr<int[]> bursts;  // gauge dumps
};

size_t NetcdfWriter::ChunkReadingsFor(int64_t dumpBytes) {
  if (dumpBytes < 0)
    return kChunkReadings;
  const auto readings = static_cast<size_t>(dumpBytes / kDumpBytesPerReading + 1);
  return std::clamp(std::bit_ceil(readings), kSmallestChunkReadings, kChunkReadings);
}

NetcdfWriter::NetcdfWriter(ScienceSettings settings)
    : settings_(std::move(settings)),
      axis_(settings_.zone, settings_.clock),
      chunkReadings_(ChunkReadingsFor(settings_.dumpBytes)),
      chunkTemperatures_(chunkReadings_ / kReadingsPerTemperature) {}

NetcdfWriter::~NetcdfWriter() {
  Abandon();
}

std::string NetcdfWriter::error() const {
  const std::lock_guard<std::mutex> hold(errorMutex_);
  return error_;
}

void NetcdfWriter::Fail(const std::string& why) {
  const std::lock_guard<std::mutex> hold(errorMutex_);
  if (error_.empty())
    error_ = why;
  failed_.store(true, std::memory_order_release);
}

bool NetcdfWriter::Check(int status, const char* doing) {
  if (status == NC_NOERR)
    return true;
  Fail("cannot " + std::string(doing) + " the NetCDF output \"" + path_ +
       "\": " + nc_strerror(status));
  return false;
}

bool NetcdfWriter::Create(const std::string& path, std::string* error) {
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  path_ = path;
  if (!Check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid_), "create")) {
    ncid_ = -1;
    *error = this->error();
    return false;
  }
  if (!DefineFile(error)) {
    Abandon();
    return false;
  }
  filling_ = TakeEmptyChunk();
  writer_ = std::make_unique<WriteBehind>(kChunksWaiting);
  return true;
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
  return std::make_shared<ReadingChunk>(chunkReadings_, settings_.gauge);
}

bool NetcdfWriter::DefineTimeVariable(int dimension, size_t chunk, const char* name,
                                      int* variable) {
  if (!Check(DefineSeries(ncid_, name, NC_DOUBLE, dimension, chunk, sizeof(double), variable),
             "define"))
    return false;
  return PutText(ncid_, *variable, "units", kTimeUnits) &&
         PutText(ncid_, *variable, "standard_name", "time") &&
         PutText(ncid_, *variable, "calendar", "standard");
}

bool NetcdfWriter::DefineFile(std::string* error) {
  int timeDim = -1;
  int temperatureDim = -1;
  bool ok =
      Check(nc_def_dim(ncid_, kTimeDimension, NC_UNLIMITED, &timeDim), "define") &&
      Check(nc_def_dim(ncid_, kTemperatureDimension, NC_UNLIMITED, &temperatureDim), "define") &&
      DefineTimeVariable(timeDim, chunkReadings_, "time", &timeVar_) &&
      PutText(ncid_, timeVar_, "axis", "T") &&
      PutText(ncid_, timeVar_, "long_name", "time of the reading") &&
      PutText(ncid_, timeVar_, "comment", TimeComment(settings_));
  std::string coordinates = "time";
  if (ok && settings_.position) {
    int latitude = -1;
    int longitude = -1;
    ok = Check(nc_def_var(ncid_, "latitude", NC_DOUBLE, 0, nullptr, &latitude), "define") &&
         Check(nc_def_var(ncid_, "longitude", NC_DOUBLE, 0, nullptr, &longitude), "define") &&
         PutText(ncid_, latitude, "units", "degrees_north") &&
         PutText(ncid_, latitude, "standard_name", "latitude") &&
         PutText(ncid_, longitude, "units", "degrees_east") &&
         PutText(ncid_, longitude, "standard_name", "longitude") &&
         Check(nc_put_var_double(ncid_, latitude, &settings_.position->latitude), "write") &&
         Check(nc_put_var_double(ncid_, longitude, &settings_.position->longitude), "write");
    coordinates += " latitude longitude";
  }
  ok = ok &&
       // Scaled counts as doubles shrink by less than a fifth when deflated,
       // at more than the cost of the rest of the file: chunked, not deflated.
       Check(DefineSeries(ncid_, "reading", NC_DOUBLE, timeDim, chunkReadings_, sizeof(double),
                          &readingVar_, Deflate::kNo),
             "define") &&
       PutText(ncid_, readingVar_, "long_name",
               settings_.gauge ? "gauge reading" : "staff length reading") &&
       PutText(ncid_, readingVar_, "units", ReadingUnits(settings_)) &&
       (settings_.standardName.empty() ||
        PutText(ncid_, readingVar_, "standard_name", settings_.standardName)) &&
       PutText(ncid_, readingVar_, "ancillary_variables", "reading_quality_control") &&
       PutText(ncid_, readingVar_, "coordinates", coordinates) &&
       Check(DefineSeries(ncid_, "reading_quality_control", NC_BYTE, timeDim, chunkReadings_, 1,
                          &flagVar_),
             "define") &&
       PutText(ncid_, flagVar_, "long_name", "quality flag of the reading") &&
       PutText(ncid_, flagVar_, "standard_name", "status_flag") &&
       Check(nc_put_att_schar(ncid_, flagVar_, "flag_values", NC_BYTE, std::size(kFlagValues),
                              kFlagValues),
             "define") &&
       PutText(ncid_, flagVar_, "flag_meanings", kFlagMeanings) &&
       DefineTimeVariable(temperatureDim, chunkTemperatures_, kTemperatureDimension,
                          &temperatureTimeVar_) &&
       PutText(ncid_, temperatureTimeVar_, "long_name",
               "time of the first reading of the temperature's line") &&
       // Deflated, the temperatures took a tenth of the writing thread's
       // time for a few percent of the file: chunked, not deflated.
       Check(DefineSeries(ncid_, "temperature", NC_DOUBLE, temperatureDim, chunkTemperatures_,
                          sizeof(double), &temperatureVar_, Deflate::kNo),
             "define") &&
       PutText(ncid_, temperatureVar_, "long_name", "temperature of the line's extra value") &&
       PutText(ncid_, temperatureVar_, "units", "degree_C") &&
       PutText(ncid_, temperatureVar_, "standard_name", "sea_water_temperature");
  if (ok && settings_.gauge) {
    int burstDim = -1;
    const double noBurstStart = std::nan("");
    // The dimension before the variable of its name: HDF5 refuses the other order.
    ok = Check(nc_def_dim(ncid_, kBurstDimension, NC_UNLIMITED, &burstDim), "define") &&
         Check(
             DefineSeries(ncid_, "burst", NC_INT, timeDim, chunkReadings_, sizeof(int), &burstVar_),
             "define") &&
         PutText(ncid_, burstVar_, "long_name", "index of the reading's burst") &&
         PutText(ncid_, burstVar_, "comment",
                 "a burst is the run of readings after one date stamp; the header's date opens "
                 "burst 0") &&
         Check(DefineSeries(ncid_, "burst_start_time", NC_DOUBLE, burstDim, kChunkBursts,
                            sizeof(double), &burstStartVar_),
               "define") &&
         PutText(ncid_, burstStartVar_, "units", kTimeUnits) &&
         PutText(ncid_, burstStartVar_, "standard_name", "time") &&
         PutText(ncid_, burstStartVar_, "calendar", "standard") &&
         PutText(ncid_, burstStartVar_, "long_name", "time of the burst's first reading") &&
         Check(nc_put_att_double(ncid_, burstStartVar_, "_FillValue", NC_DOUBLE, 1, &noBurstStart),
               "define");
  }
  ok = ok && Check(nc_enddef(ncid_), "define");
  if (!ok) {
    Fail("cannot define the NetCDF output \"" + path_ + "\"");
    *error = this->error();
  }
  return ok;
}

void NetcdfWriter::OnReadings(const ReadingLine& line) {
  double stampUtc = 0.0;
  if (ncid_ < 0 || failed() || !axis_.LineStampUtc(line, &stampUtc)) {
    facts_.Leave(line);
    return;
  }
  const double firstTime = ReadingTime(line, stampUtc, 0);
  if (settings_.gauge)
    PlaceBurst(line, firstTime);
  if (line.hasTemperature) {
    temperatureTimes_.push_back(firstTime);
    temperatures_.push_back(line.temperature);
    if (temperatureTimes_.size() == chunkTemperatures_)
      FlushTemperatures();
  }
  for (int done = 0; done < line.count;) {
    const size_t room = chunkReadings_ - filling_->count;
    const int count = static_cast<int>(std::min(room, static_cast<size_t>(line.count - done)));
    FillReadings(line, stampUtc, done, count);
    done += count;
    if (filling_->count == chunkReadings_)
      FlushReadings();
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

// Most lines are plain, or all suspect under a stamp that went back: their
// flags need no look at each reading.
void NetcdfWriter::FillFlags(const ReadingLine& line, int from, int count, signed char* flags) {
  if (line.notes == nullptr) {
    const QualityFlag flag = line.stampWentBack ? kFlagSuspect : kFlagGood;
    std::fill_n(flags, count, static_cast<signed char>(flag));
    facts_.suspect += flag == kFlagSuspect ? count : 0;
    return;
  }
  // Counted aside: the flags are bytes, which may alias the counts.
  int64_t bad = 0;
  int64_t suspect = 0;
  for (int i = 0; i < count; ++i) {
    const QualityFlag flag = FlagOf(line, from + i);
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
  if (settings_.gauge)
    std::fill_n(chunk.bursts.get() + at, count, static_cast<int>(line.burst));
  // A line's times rise: its first and last reading are its extremes.
  facts_.PlaceRising(times[0], times[count - 1], count);
  axis_.Place(times[0]);
  axis_.Place(times[count - 1]);
  chunk.count += static_cast<size_t>(count);
}

void NetcdfWriter::PlaceBurst(const ReadingLine& line, double firstTime) {
  if (line.burst < nextBurst_)
    return;
  // A burst with no readings of its own has no start time to give.
  while (nextBurst_ < line.burst) {
    burstStarts_.push_back(std::nan(""));
    ++nextBurst_;
    if (burstStarts_.size() == kChunkBursts)
      FlushBursts();
  }
  burstStarts_.push_back(firstTime);
  ++nextBurst_;
  if (burstStarts_.size() == kChunkBursts)
    FlushBursts();
}

void NetcdfWriter::OnFillers(int64_t, int64_t, int count) {
  facts_.fillers += count;
}

// The buffers go to the writing thread whole; new ones take their place.
void NetcdfWriter::FlushReadings() {
  if (filling_ == nullptr || filling_->count == 0)
    return;
  if (failed() || writer_ == nullptr) {
    filling_->count = 0;  // nothing more is written
    return;
  }
  const size_t start = readingsHanded_;
  readingsHanded_ += filling_->count;
  writer_->Post([this, start, chunk = std::move(filling_)]() mutable {
    WriteReadings(start, *chunk);
    const std::lock_guard<std::mutex> hold(spareMutex_);
    spare_.push_back(std::move(chunk));
  });
  filling_ = TakeEmptyChunk();
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
  {
    const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
    if (failed())
      return;
    const size_t count = chunk.count;
    if (!Check(PutSeries(ncid_, timeVar_, start, count, chunk.times.get()), "write") ||
        !Check(PutSeries(ncid_, readingVar_, start, count, chunk.values.get()), "write") ||
        !Check(PutSeries(ncid_, flagVar_, start, count, chunk.flags.get()), "write") ||
        (settings_.gauge &&
         !Check(PutSeries(ncid_, burstVar_, start, count, chunk.bursts.get()), "write")))
      return;
    readingsWritten_ += count;
  }
  // Out of the library's lock: the hook may wait for the disk.
  if (chunkWritten_)
    chunkWritten_();
}

void NetcdfWriter::WriteTemperatures(size_t start, const std::vector<double>& times,
                                     const std::vector<double>& temperatures) {
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  if (failed())
    return;
  if (Check(PutSeries(ncid_, temperatureTimeVar_, start, times), "write") &&
      Check(PutSeries(ncid_, temperatureVar_, start, temperatures), "write")) {
    temperaturesWritten_ += times.size();
  }
}

void NetcdfWriter::WriteBursts(size_t start, const std::vector<double>& starts) {
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  if (failed())
    return;
  if (Check(PutSeries(ncid_, burstStartVar_, start, starts), "write"))
    burstsWritten_ += starts.size();
}

bool NetcdfWriter::CorrectVariable(int variable, size_t length) {
  std::vector<double> chunk;
  for (size_t start = 0; start < length; start += kChunkReadings) {
    const size_t count = std::min(kChunkReadings, length - start);
    chunk.resize(count);
    if (!Check(nc_get_vara_double(ncid_, variable, &start, &count, chunk.data()), "correct"))
      return false;
    for (double& t : chunk)
      t = axis_.Corrected(t);
    if (!Check(nc_put_vara_double(ncid_, variable, &start, &count, chunk.data()), "correct"))
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

bool NetcdfWriter::WriteAttributes(const RunFacts& run) {
  if (!Check(nc_redef(ncid_), "finish"))
    return false;
  for (const Attribute& attribute : GlobalAttributes(settings_, facts_, run)) {
    if (!PutAttribute(ncid_, attribute))
      return Check(NC_EINVAL, ("write the attribute " + attribute.name + " of").c_str());
  }
  if (run.result != nullptr &&
      !PutText(ncid_, flagVar_, "comment", QualityComment(run.result->report)))
    return Check(NC_EINVAL, "write the flags' comment of");
  return true;
}

bool NetcdfWriter::Finish(const RunFacts& run, std::string* error) {
  if (ncid_ < 0) {
    *error = failed() ? this->error() : "the NetCDF output \"" + path_ + "\" is not open";
    return false;
  }
  FlushReadings();
  FlushTemperatures();
  FlushBursts();
  // Not under the library's lock: the writing thread needs it to finish.
  writer_->Drain();
  writer_->Stop();
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  bool ok = !failed() && CorrectTimes() && WriteAttributes(run);
  for (const CloseHook& hook : hooks_) {
    if (!ok)
      break;
    std::string hookError;
    if (!hook(ncid_, &hookError)) {
      Fail("cannot finish the NetCDF output \"" + path_ + "\": " + hookError);
      ok = false;
    }
  }
  const int closed = nc_close(ncid_);
  ncid_ = -1;
  ok = ok && Check(closed, "close");
  if (!ok)
    *error = this->error();
  return ok;
}

void NetcdfWriter::Abandon() {
  // The chunks still waiting are dropped; the one being written ends first.
  if (writer_ != nullptr)
    writer_->Stop();
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  if (ncid_ >= 0) {
    // After a failed write (a full disk) the library's last flush fails too
    // and leaves the file open, its descriptor and memory held until the
    // program ends. The file is ours and dropped: emptied first, it has room
    // to close.
    if (failed())
      ::truncate(path_.c_str(), 0);
    nc_abort(ncid_);
  }
  ncid_ = -1;
}
