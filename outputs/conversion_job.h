// Every output of one conversion, owned by one job: the legacy CSV, the
// NetCDF file, the tidy CSV, the wave statistics' CSV and NetCDF file, and
// the dump's digest. The job readies them all before the conversion reads anything,
// hands the engine one sink and one reading listener, and at the end puts
// all of them in place or none: a conversion that did not finish, a stop
// or any failing output leaves nothing under a final name, and what each
// output wrote is kept as NAME.partial. The command line and the desktop
// program both convert through it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "outputs/formats.h"
#include "outputs/safe_output.h"
#include "outputs/wave_targets.h"
#include "science/barometer.h"
#include "science/science_outputs.h"
#include "science/trimming.h"
#include "waves/wave_settings.h"

// What the outputs of a run are made with, the same for each of its inputs.
struct OutputSettings {
  bool overwrite = false;      // an existing output is replaced
  bool append = false;         // an existing legacy CSV is appended to
  bool legacyWording = false;  // a refused legacy CSV names --append alone
  Correction correction;       // the legacy CSV's, told in the NetCDF file
  ScienceSettings science;
  WaveSettings waves;
  // Readable once the run is asked to stop; -1: none.
  int stopFd = -1;
  // A stopped run keeps what it wrote as NAME.partial, as a failed one does;
  // false: a stop (the desktop's Cancel) leaves nothing at all.
  bool keepPartialsWhenStopped = true;
};

// Where one output goes.
struct OutputTarget {
  enum class Form {
    None,            // not made
    File,            // a named file, put in place at the end
    StandardOutput,  // written to descriptor 1
    Discard,         // written, counted and thrown away (--check)
  };
  Form form = Form::None;
  std::string path;  // File: as the user named it

  static OutputTarget File(std::string path) { return {Form::File, std::move(path)}; }
  static OutputTarget StandardOutput() { return {Form::StandardOutput, "-"}; }
  static OutputTarget Discard() { return {Form::Discard, ""}; }
  bool wanted() const { return form != Form::None; }
  bool named() const { return form == Form::File; }
};

struct JobTargets {
  OutputTarget legacy = OutputTarget::Discard();
  OutputTarget netcdf;
  OutputTarget tidy;
  OutputTarget waves;
  // The NetCDF output written into the caller's store (not owned) in place
  // of `netcdf`: the same variables and attributes, kept in memory.
  NetcdfStore* netcdfStore = nullptr;
  // The statistics' NetCDF file: NAME.waves.nc beside a named NetCDF
  // output, when statistics are asked for too (WavesNetcdfBeside).
  OutputTarget wavesNetcdf;
  // The statistics written into the caller's store (not owned) in place of
  // a NAME.waves.nc file.
  NetcdfStore* wavesNetcdfStore = nullptr;
};

// NAME.waves.nc beside the NetCDF output `netcdf` when it is a named file
// and the statistics `waves` are asked for; else none.
OutputTarget WavesNetcdfBeside(const OutputTarget& netcdf, const OutputTarget& waves);

// The dump a job converts.
struct JobInput {
  std::string name;    // as given; "-" standard input
  int fromType = 0;    // set by Start
  int64_t bytes = -1;  // its size, -1 when not known
  dev_t device = 0;    // never replaced by one of its outputs
  ino_t inode = 0;
  // A merge: the names of its dumps, in time order (`bytes` their sum);
  // empty for one dump.
  std::vector<std::string> merged;
};

// How the conversion ended.
enum class RunEnd {
  Finished,  // "Finished All"
  Failed,    // a status other than "Finished All", or a read that failed
  Stopped,   // cancelled, or a stop signal
};

struct JobOutcome {
  bool placed = false;  // every output is under its final name
  RunEnd end = RunEnd::Finished;
  // The outputs kept as NAME.partial, as the user named them.
  std::vector<std::string> partials;
  // An output could not be written or put in place (a write error): why.
  std::string problem;
  bool readerGone = false;     // standard output's reader went away (EPIPE)
  bool oldOutputKept = false;  // a replaced legacy CSV is as it was
  bool appendedKept = false;   // an appended legacy CSV keeps what this run added
  int64_t streamedBytes = 0;   // what standard output took
  std::vector<std::string> warnings;
  // Readings the NetCDF output left out because their time did not rise.
  std::optional<int64_t> netcdfReadingsOutOfOrder;
  // What trimming left out, when the settings trim; the tests' flags of
  // the science outputs' readings, when they were written.
  std::optional<TrimmedCounts> trimmed;
  std::optional<ReadingFlagCounts> qcCounts;
  std::optional<WaveSummary> waves;  // when the statistics' CSV was placed
  // A merge: each dump's SHA-256, in time order (empty when not taken).
  std::vector<std::string> sourceDigests;
};

class ConversionJob {
 public:
  ConversionJob(OutputSettings settings, JobTargets targets, JobInput input);
  ~ConversionJob();
  ConversionJob(const ConversionJob&) = delete;
  ConversionJob& operator=(const ConversionJob&) = delete;

  // Readies every output under a temporary name, before the dump is read:
  // an output that exists is refused unless the settings say what to do
  // with it, and none may be the dump. False with `error` when one cannot
  // be used; nothing is left anywhere then.
  bool Reserve(std::string* error);
  // What the dump's header gave that the statistics use: a gauge's burst
  // length, their nominal segment. Before Start.
  void TakeHeader(const DumpLook& look);
  // Opens the writers once the dump's kind is known. False with `error`
  // when one cannot be opened; nothing is left anywhere then.
  bool Start(int fromType, std::string* error);

  // The legacy CSV's sink: the request's To.
  ByteSink* LegacySink();
  // What listens to the readings (NetCDF, tidy, statistics); nullptr when
  // nothing does. The request's `readings`.
  ReadingListener* Listener();
  // Hears every byte of the dump as the conversion reads it, for the
  // NetCDF file's `source`.
  void HearBytesOf(ByteSource& source);
  // A merge converts its dumps one after the other into the one set of
  // outputs: before each, the name `source` gives it.
  void BeginDump(const std::string& name);

  // An output failed while the conversion ran: the conversion may as well
  // stop. Safe to ask from the engine's cancel hook.
  bool failed() const;
  std::string error() const;

  // Finishes every output and places all of them, or keeps what each wrote
  // as NAME.partial. `readWhole`: every byte of the dump was read, so its
  // digest stands for it. `stopRequested` is asked once more before the
  // outputs take their names: a stop that comes after that is too late.
  JobOutcome Finish(const ConversionResult& result, RunEnd end, bool readWhole,
                    const std::function<bool()>& stopRequested);
  // Takes every output back without keeping anything (a run refused before
  // it converted).
  void Abandon();

 private:
  struct File;

  bool NamesDiffer(std::string* error) const;
  bool ReserveLegacy(std::string* error);
  bool ReserveOutput(const OutputTarget& target, bool namedTemporary,
                     std::unique_ptr<SafeOutput>* output, std::string* error);
  bool OpenNetcdf(std::string* error);
  bool OpenWaves(std::string* error);
  bool LoadBarometer(bool scienceOutputs, std::string* error);
  bool StartReadingStages(std::string* error);
  TrimmedCounts Trimmed() const;
  bool PrepareFile(const OutputTarget& target, bool namedTemporary, SafeOutput* output,
                   std::string* error) const;
  bool FinishWriters(const ConversionResult& result, RunEnd end, bool readWhole,
                     JobOutcome* outcome);
  bool PlaceAll(JobOutcome* outcome);
  void KeepPartials(RunEnd end, JobOutcome* outcome);
  bool CopyNetcdfToStandardOutput(std::string* error);
  void DropScratch();

  OutputSettings settings_;
  JobTargets targets_;
  JobInput input_;
  SafeOutput legacy_;
  std::unique_ptr<SafeOutput> netcdf_;
  std::unique_ptr<SafeOutput> tidy_;
  std::unique_ptr<SafeOutput> wavesCsv_;
  std::unique_ptr<SafeOutput> wavesNetcdf_;
  std::unique_ptr<ScienceOutputs> science_;
  std::unique_ptr<WaveTargets> waves_;
  ReadingFanOut listeners_;
  // In front of them all when the deployment file gives its times.
  std::unique_ptr<DeploymentTrim> trim_;
  // Behind it, with a barometer record: the readings less the air pressure.
  std::unique_ptr<BarometerCorrection> barometer_;
  double readingsPerPascal_ = 0.0;
  // Behind that, the trimming by depth.
  std::unique_ptr<DepthTrim> depthTrim_;
  // NetCDF is written by name: into its safe output's temporary, or for
  // standard output and --check into an unnamed file of our own.
  int netcdfScratch_ = -1;
  std::string netcdfScratchPath_;
  // The statistics' NetCDF file carries no standard names: said once.
  std::string statisticNamesWarning_;
  bool ended_ = false;
};
