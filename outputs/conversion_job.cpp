#include "outputs/conversion_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "convert/dump_types.h"
#include "convert/status.h"
#include "outputs/barometer_units.h"
#include "outputs/file_checks.h"
#include "outputs/quoting.h"
#include "outputs/reading_depth.h"
#include "runtime/byte_streams.h"
#include "science/standard_names.h"

namespace {

constexpr size_t kCopyBlock = 256 * 1024;
constexpr double kSecondsPerMinute = 60.0;

// A file of our own in $TMPDIR (or /tmp) for NetCDF to write by name when
// it goes to standard output or nowhere; its name goes when the job ends.
int ScratchFile(std::string* path, std::string* error) {
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || *folder == '\0')
    folder = "/tmp";
  *path = std::string(folder) + "/zorqconvert-XXXXXX.nc";
  const int fd = ::mkstemps(path->data(), static_cast<int>(std::strlen(kNetcdfExtension)));
  if (fd < 0) {
    *error = "cannot make a temporary file in " + QuotedName(folder) +
             " for the NetCDF output: " + std::strerror(errno);
    path->clear();
  }
  return fd;
}

// An output's name in messages.
std::string Shown(const OutputTarget& target) {
  return target.form == OutputTarget::Form::StandardOutput ? "standard output"
         : target.named()                                  ? QuotedName(target.path)
                                                           : "";
}

std::string StatisticsUnits(const OutputSettings& settings, int fromType) {
  if (settings.waves.pressure)
    return "m";  // metres of water
  ScienceSettings science = settings.science;
  science.gauge = IsGaugeDump(fromType);
  return ReadingUnits(science);
}

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// The dump's file name; a merge's dumps' names, joined.
std::string SourceName(const JobInput& input) {
  if (input.name == "-")
    return "<stdin>";
  if (input.merged.empty())
    return FileName(input.name);
  std::string names;
  for (const std::string& dump : input.merged)
    names += (names.empty() ? "" : ", ") + FileName(dump);
  return names;
}

}  // namespace

OutputTarget WavesNetcdfBeside(const OutputTarget& netcdf, const OutputTarget& waves) {
  if (!netcdf.named() || !waves.wanted())
    return {};
  std::filesystem::path path(netcdf.path);
  path.replace_extension();
  return OutputTarget::File(path.string() + kWavesNetcdfExtension);
}

// One named or streamed output of the job, in the order they are placed.
struct ConversionJob::File {
  SafeOutput* output;
  const OutputTarget* target;
};

ConversionJob::ConversionJob(OutputSettings settings, JobTargets targets, JobInput input)
    : settings_(std::move(settings)), targets_(std::move(targets)), input_(std::move(input)) {}

ConversionJob::~ConversionJob() {
  if (!ended_)
    Abandon();
}

bool ConversionJob::PrepareFile(const OutputTarget& target, bool namedTemporary, SafeOutput* output,
                                std::string* error) const {
  switch (target.form) {
    case OutputTarget::Form::None:
      return true;
    case OutputTarget::Form::Discard:
      return output->PrepareStream(-1, -1, error);
    case OutputTarget::Form::StandardOutput:
      return output->PrepareStream(STDOUT_FILENO, settings_.stopFd, error);
    case OutputTarget::Form::File:
      break;
  }
  std::string full;
  if (!FullPath(target.path, &full, error))
    return false;
  OutputPolicy policy;
  policy.overwrite = settings_.overwrite;
  policy.namedTemporary = namedTemporary;
  policy.stopFd = settings_.stopFd;
  const bool legacy = &target == &targets_.legacy;
  policy.appendAllowed = legacy;
  policy.append = legacy && settings_.append;
  policy.legacyWording = legacy && settings_.legacyWording;
  return output->Prepare(full, target.path, policy, input_.device, input_.inode, error);
}

bool ConversionJob::ReserveLegacy(std::string* error) {
  if (!targets_.legacy.wanted())
    targets_.legacy = OutputTarget::Discard();
  if (targets_.legacy.form == OutputTarget::Form::StandardOutput) {
    // As cat refuses: appending to its own input, the output would be read
    // back as input without end.
    struct stat out {};
    if (::fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) && out.st_dev == input_.device &&
        out.st_ino == input_.inode) {
      *error = (input_.name == "-" ? std::string("standard input") : QuotedName(input_.name)) +
               ": input file is output file (standard output)";
      return false;
    }
  }
  return PrepareFile(targets_.legacy, false, &legacy_, error);
}

bool ConversionJob::ReserveOutput(const OutputTarget& target, bool namedTemporary,
                                  std::unique_ptr<SafeOutput>* output, std::string* error) {
  if (!target.wanted())
    return true;
  *output = std::make_unique<SafeOutput>();
  return PrepareFile(target, namedTemporary, output->get(), error);
}

// Two outputs of one job under one name would each replace the other.
bool ConversionJob::NamesDiffer(std::string* error) const {
  std::map<std::string, const OutputTarget*> seen;
  for (const OutputTarget* target : {&targets_.legacy, &targets_.netcdf, &targets_.tidy,
                                     &targets_.waves, &targets_.wavesNetcdf}) {
    if (!target->named())
      continue;
    const std::string key = std::filesystem::absolute(target->path).lexically_normal().string();
    if (!seen.emplace(key, target).second) {
      *error =
          QuotedName(input_.name) + " would have two outputs named " + QuotedName(target->path);
      return false;
    }
  }
  return true;
}

bool ConversionJob::Reserve(std::string* error) {
  const bool reserved = NamesDiffer(error) && ReserveLegacy(error) &&
                        ReserveOutput(targets_.netcdf, true, &netcdf_, error) &&
                        ReserveOutput(targets_.tidy, false, &tidy_, error) &&
                        ReserveOutput(targets_.waves, false, &wavesCsv_, error) &&
                        ReserveOutput(targets_.wavesNetcdf, true, &wavesNetcdf_, error);
  if (!reserved)
    Abandon();
  return reserved;
}

bool ConversionJob::OpenNetcdf(std::string* error) {
  std::string path = netcdf_->WritablePath();
  if (!targets_.netcdf.named()) {
    netcdfScratch_ = ScratchFile(&netcdfScratchPath_, error);
    if (netcdfScratch_ < 0)
      return false;
    path = netcdfScratchPath_;
  }
  // The writer quotes the name itself.
  const std::string shown = targets_.netcdf.named() ? targets_.netcdf.path : Shown(targets_.netcdf);
  if (!science_->OpenNetcdf(path, shown, error))
    return false;
  // The disk starts writing the file as it grows, as the outputs written
  // through a sink do by themselves.
  science_->netcdf()->OnChunkWritten([output = netcdf_.get()] { output->StartWriteback(); });
  return true;
}

bool ConversionJob::OpenWaves(std::string* error) {
  // The statistics' range tests live in the deployment file's qc section.
  WaveSettings waves = settings_.waves;
  waves.hm0Range = settings_.science.qc.hm0;
  waves.tpRange = settings_.science.qc.tp;
  waves_ = std::make_unique<WaveTargets>(waves,
                                         TimeAxis(settings_.science.zone, settings_.science.clock));
  waves_->WriteCsvTo(wavesCsv_->Sink(), targets_.waves.path);
  if ((!wavesNetcdf_ && targets_.wavesNetcdfStore == nullptr) || !science_)
    return true;
  // A wave name goes only on a statistic whose units convert to the
  // name's, and none at all on readings of unknown units.
  const std::string units = StatisticsUnits(settings_, input_.fromType);
  statisticNamesWarning_ = StatisticNamesWarning(units);
  auto nameFor = [units](const std::string& name, const std::string& statisticUnits) {
    return StatisticStandardName(name, statisticUnits, units);
  };
  if (!wavesNetcdf_) {
    waves_->OpenNetcdfIn(targets_.wavesNetcdfStore, science_->settings(), units, nameFor);
    return true;
  }
  return waves_->OpenNetcdf(wavesNetcdf_->WritablePath(), targets_.wavesNetcdf.path,
                            science_->settings(), units, nameFor, error);
}

void ConversionJob::TakeHeader(const DumpLook& look) {
  if (look.kind == DumpKind::Gauge)
    settings_.waves.burstReadings = kSecondsPerMinute * look.burstMinutes * look.sampleRate;
}

// The record is read here unless the caller read it once for every input.
bool ConversionJob::LoadBarometer(bool scienceOutputs, std::string* error) {
  ScienceSettings& science = settings_.science;
  BarometerUnits units;
  if (!BarometerReadingUnits(settings_, IsGaugeDump(input_.fromType), scienceOutputs, &units,
                             error))
    return false;
  readingsPerPascal_ = units.perPascal;
  if (science.barometer)
    return true;
  auto record = std::make_shared<AirPressureRecord>();
  if (!ReadAirPressureRecord(science.barometerPath, science.barometerUnits, record.get(), error))
    return false;
  science.barometer = std::move(record);
  return true;
}

bool ConversionJob::Start(int fromType, std::string* error) {
  input_.fromType = fromType;
  const bool scienceOutputs = netcdf_ || tidy_ || targets_.netcdfStore != nullptr;
  if (!settings_.science.barometerPath.empty() && (scienceOutputs || wavesCsv_) &&
      !LoadBarometer(scienceOutputs, error)) {
    Abandon();
    return false;
  }
  if (netcdf_ || tidy_ || wavesNetcdf_ || targets_.netcdfStore != nullptr ||
      targets_.wavesNetcdfStore != nullptr) {
    ScienceSettings science = settings_.science;
    science.dumpBytes = input_.bytes;
    science.gauge = IsGaugeDump(fromType);
    science.fromType = fromType;
    science.correction = settings_.correction;
    science.sourceName = SourceName(input_);
    science_ = std::make_unique<ScienceOutputs>(std::move(science));
  }
  const bool started =
      (!netcdf_ || OpenNetcdf(error)) &&
      (targets_.netcdfStore == nullptr || science_->OpenNetcdfIn(targets_.netcdfStore, error)) &&
      (!tidy_ || science_->OpenTidy(tidy_->Sink(), Shown(targets_.tidy), error)) &&
      (!wavesCsv_ || OpenWaves(error));
  if (science_)
    listeners_.Add(science_->listener());
  if (waves_)
    listeners_.Add(waves_->listener());
  if (!started || !StartReadingStages(error)) {
    Abandon();
    return false;
  }
  return true;
}

// The stages in front of the outputs, outermost first: trimming to the
// deployment's times, the air pressure taken off, then trimming by depth,
// which needs the water's own pressure.
bool ConversionJob::StartReadingStages(std::string* error) {
  if (listeners_.Empty())
    return true;
  ReadingListener* inner = &listeners_;
  if (settings_.science.trimDepth) {
    ScienceSettings science = settings_.science;
    science.gauge = IsGaugeDump(input_.fromType);
    const std::optional<PressureDepth> depth =
        ReadingDepth(science, settings_.waves.pressure, error);
    if (!depth)
      return false;
    depthTrim_ = std::make_unique<DepthTrim>(*settings_.science.trimDepth, *depth, inner);
    inner = depthTrim_.get();
  }
  if (settings_.science.barometer) {
    barometer_ =
        std::make_unique<BarometerCorrection>(settings_.science, readingsPerPascal_, inner);
    inner = barometer_.get();
  }
  if (settings_.science.deployed || settings_.science.recovered)
    trim_ = std::make_unique<DeploymentTrim>(settings_.science, inner);
  return true;
}

TrimmedCounts ConversionJob::Trimmed() const {
  TrimmedCounts counts = trim_ ? trim_->counts() : TrimmedCounts{};
  if (depthTrim_) {
    counts.shallowBefore = depthTrim_->counts().shallowBefore;
    counts.shallowAfter = depthTrim_->counts().shallowAfter;
  }
  return counts;
}

ByteSink* ConversionJob::LegacySink() {
  return legacy_.Sink();
}

ReadingListener* ConversionJob::Listener() {
  if (trim_)
    return trim_.get();
  if (barometer_)
    return barometer_.get();
  if (depthTrim_)
    return depthTrim_.get();
  return listeners_.Empty() ? nullptr : &listeners_;
}

void ConversionJob::HearBytesOf(ByteSource& source) {
  if (!science_)
    return;
  source.SetTap([science = science_.get()](const char* bytes, size_t count) {
    science->digest().Update(bytes, count);
  });
}

void ConversionJob::BeginDump(const std::string& name) {
  if (science_)
    science_->BeginSource(FileName(name));
}

bool ConversionJob::failed() const {
  return (science_ && science_->failed()) || (waves_ && waves_->failed());
}

std::string ConversionJob::error() const {
  if (science_ && science_->failed())
    return science_->error();
  return waves_ && waves_->failed() ? waves_->error() : "";
}

// The statistics first: their NetCDF file closes with the readings' facts.
bool ConversionJob::FinishWriters(const ConversionResult& result, RunEnd end, bool readWhole,
                                  JobOutcome* outcome) {
  bool ok = !failed();
  if (!ok)
    outcome->problem = error();
  if (depthTrim_)
    depthTrim_->Finish();
  if (trim_ || depthTrim_)
    outcome->trimmed = Trimmed();
  if (waves_) {
    std::string problem;
    if (end == RunEnd::Stopped) {
      waves_->Stop();
    } else if (!waves_->Finish(&problem) && ok) {
      outcome->problem = problem;
      ok = false;
    }
  }
  if (science_) {
    science_->TakeDigest(readWhole && end == RunEnd::Finished);
    if (outcome->trimmed)
      science_->TakeTrimmed(*outcome->trimmed);
    std::string problem;
    if (!science_->Finish(result, &problem) && ok) {
      outcome->problem = problem;
      ok = false;
    }
    outcome->warnings = science_->Warnings();
    if (!statisticNamesWarning_.empty())
      outcome->warnings.push_back(statisticNamesWarning_);
    outcome->netcdfReadingsOutOfOrder = science_->NetcdfReadingsOutOfOrder();
    outcome->sourceDigests = science_->SourceDigests();
    outcome->qcCounts = science_->QcCounts();
    const ReadingFacts facts = science_->netcdf() ? science_->netcdf()->facts() : ReadingFacts{};
    if (waves_ && !waves_->CloseNetcdf(facts, science_->RunFactsOf(result), &problem) && ok) {
      outcome->problem = problem;
      ok = false;
    }
  }
  if (outcome->trimmed)
    outcome->warnings.push_back(TrimmedText(settings_.science, *outcome->trimmed));
  if (barometer_)
    outcome->warnings.push_back(BarometerText(*settings_.science.barometer, barometer_->counts()));
  return ok;
}

bool ConversionJob::CopyNetcdfToStandardOutput(std::string* error) {
  ByteSink* sink = netcdf_->Sink();
  DescriptorSource scratch(netcdfScratch_, /*owned=*/false);
  bool copied = sink != nullptr && scratch.Seek(0, SEEK_SET) == 0;
  std::unique_ptr<char[]> block(new char[kCopyBlock]);
  for (long got; copied && (got = scratch.Read(block.get(), kCopyBlock)) != 0;)
    copied = got > 0 && sink->Write(block.get(), got) == got;
  copied = copied && sink->Flush() == 0;
  if (!copied)
    *error = std::string("cannot write the NetCDF output to standard output: ") +
             std::strerror(sink != nullptr && sink->error() != 0 ? sink->error() : EIO);
  return copied;
}

// Every output on the disk first, then every name: a failure on the way
// leaves none of them in place.
bool ConversionJob::PlaceAll(JobOutcome* outcome) {
  std::vector<File> files = {{&legacy_, &targets_.legacy}};
  for (auto [output, target] :
       {std::pair{netcdf_.get(), &targets_.netcdf}, std::pair{tidy_.get(), &targets_.tidy},
        std::pair{wavesCsv_.get(), &targets_.waves},
        std::pair{wavesNetcdf_.get(), &targets_.wavesNetcdf}}) {
    if (output != nullptr)
      files.push_back({output, target});
  }
  if (targets_.netcdf.form == OutputTarget::Form::StandardOutput &&
      !CopyNetcdfToStandardOutput(&outcome->problem)) {
    outcome->readerGone = netcdf_->streamError() == EPIPE;
    return false;
  }
  for (const File& file : files) {
    if (!file.output->Ready(&outcome->problem))
      return false;
  }
  for (size_t placed = 0; placed < files.size(); ++placed) {
    if (!files[placed].output->Place(&outcome->problem)) {
      outcome->readerGone = files[placed].output->streamError() == EPIPE;
      for (size_t back = 0; back < placed; ++back)
        files[back].output->TakeBack();
      return false;
    }
  }
  return true;
}

// Each output's bytes kept as NAME.partial; an appended legacy CSV keeps
// what a failed run added after its old bytes (a stopped run cuts it back),
// and a stream has nothing to keep.
void ConversionJob::KeepPartials(RunEnd end, JobOutcome* outcome) {
  outcome->oldOutputKept = legacy_.kind() == SafeOutput::Kind::Replace;
  for (auto [output, target] :
       {std::pair{&legacy_, &targets_.legacy}, std::pair{netcdf_.get(), &targets_.netcdf},
        std::pair{tidy_.get(), &targets_.tidy}, std::pair{wavesCsv_.get(), &targets_.waves},
        std::pair{wavesNetcdf_.get(), &targets_.wavesNetcdf}}) {
    if (output == nullptr)
      continue;
    if (output->kind() == SafeOutput::Kind::Append && end == RunEnd::Failed) {
      std::string ignored;
      outcome->appendedKept = output->Place(&ignored);
      continue;
    }
    const bool dropped = end == RunEnd::Stopped && !settings_.keepPartialsWhenStopped;
    if (!target->named() || output->kind() == SafeOutput::Kind::Append || dropped) {
      output->Abandon();
      continue;
    }
    std::string problem;
    if (output->KeepPartial(&problem))
      outcome->partials.push_back(target->path + kPartialSuffix);
    else if (!problem.empty())
      outcome->problem += (outcome->problem.empty() ? "" : "; ") + problem;
  }
  outcome->streamedBytes = legacy_.streamedBytes();
}

JobOutcome ConversionJob::Finish(const ConversionResult& result, RunEnd end, bool readWhole,
                                 const std::function<bool()>& stopRequested) {
  ended_ = true;
  JobOutcome outcome;
  const bool written = FinishWriters(result, end, readWhole, &outcome);
  if (written && end == RunEnd::Finished && stopRequested && stopRequested())
    end = RunEnd::Stopped;
  if (!written && end == RunEnd::Finished)
    end = RunEnd::Failed;
  if (end == RunEnd::Finished && PlaceAll(&outcome)) {
    outcome.placed = true;
    outcome.streamedBytes = legacy_.streamedBytes();
    if (waves_ && waves_->writesCsv())
      outcome.waves = waves_->summary();
    DropScratch();
    return outcome;
  }
  if (end == RunEnd::Finished)
    end = RunEnd::Failed;  // an output could not be put in place
  outcome.end = end;
  // A reader of standard output that went away failed the conversion's
  // writes: the run ends as a closed pipe ends cat, not as a failure.
  for (const SafeOutput* output :
       {&legacy_, netcdf_.get(), tidy_.get(), wavesCsv_.get(), wavesNetcdf_.get()}) {
    if (output != nullptr && output->streamError() == EPIPE)
      outcome.readerGone = true;
  }
  KeepPartials(end, &outcome);
  DropScratch();
  return outcome;
}

void ConversionJob::Abandon() {
  ended_ = true;
  if (waves_)
    waves_->Abandon();
  if (science_)
    science_->Abandon();
  for (SafeOutput* output :
       {&legacy_, netcdf_.get(), tidy_.get(), wavesCsv_.get(), wavesNetcdf_.get()}) {
    if (output != nullptr)
      output->Abandon();
  }
  DropScratch();
}

void ConversionJob::DropScratch() {
  if (netcdfScratch_ >= 0)
    ::close(netcdfScratch_);
  netcdfScratch_ = -1;
  if (!netcdfScratchPath_.empty())
    ::unlink(netcdfScratchPath_.c_str());
  netcdfScratchPath_.clear();
}
