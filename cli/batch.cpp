#include "cli/batch.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/file_checks.h"
#include "cli/input_source.h"
#include "cli/json_report.h"
#include "cli/kinds.h"
#include "cli/progress.h"
#include "cli/quoting.h"
#include "cli/safe_output.h"
#include "cli/science_targets.h"
#include "cli/signals.h"
#include "cli/time_zone.h"
#include "cli/wave_targets.h"
#include "convert/dispatch.h"
#include "convert/dump_types.h"
#include "convert/report_text.h"
#include "convert/status.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitInternal = 70;  // no converter was chosen, which valid options rule out

// One input as the command line names it.
struct PlannedInput {
  std::string from;      // as given
  std::string to;        // as given or made from -o; "-" standard output; empty with --check
  ScienceNames science;  // the NetCDF and tidy outputs, when asked for
  std::string waves;     // the wave statistics' CSV; empty when none are asked for
};

struct InputOutcome {
  bool converterRan = false;
  bool cancelled = false;
  int stopSignal = 0;
  uint8_t status = kStatusReady;
  int exitStatus = 0;
  std::string problem;  // why it failed before or after the engine ran
  // The kinds were settled but the input is not converted (exit 64): the
  // problem is the whole story, no status line follows it.
  bool refusedByOptions = false;
  std::optional<DumpLook> look;
  int fromType = 0;
  int toType = -1;
  ConversionResult result;
  std::string head;                   // the input's first block
  std::vector<std::string> warnings;  // of the science outputs
  std::optional<WaveSummary> waves;   // when the statistics were put in place
  // A failed conversion's output, kept under this name instead of its own
  // (NAME.partial); empty when none was kept.
  std::string partialOutput;
  bool oldOutputKept = false;  // --overwrite failed: the old output is as it was
  // Bytes that standard output took before a signal stopped the input.
  int64_t streamedBytes = 0;
};

// The dispatch's CONVERT ERROR texts speak of the desktop's menus; the
// command line says the same in its own words.
// The texts are compared, not their addresses: a literal behind an inline
// constant need not have one address in every translation unit.
std::string InCommandLineWords(const char* popupText) {
  const std::string_view text = popupText == nullptr ? "" : popupText;
  if (text == kSameFileText)
    return "FROM and TO are the same file; give another TO";
  if (text == kReadFailedText)
    return "FROM could not be read to its end; check the file, then convert again";
  return "FROM or TO is not open";
}

// The engine's hint "choose From type 2 and To type 0" as options.
std::string OptionsForChoices(const std::string& reason) {
  static const std::regex kChoice("choose From type ([0-9])( or ([0-9]))? and To type ([0-9])");
  return std::regex_replace(reason, kChoice, "give --from-type $1$2 and --to-type $4");
}

int ExitStatusOfStatus(uint8_t status) {
  if (status == kStatusFinished)
    return 0;
  if (status >= kStatusFileError && status < kStatusFinished)
    return status;
  return kExitInternal;
}

// --- Planning, before anything is converted ---

class Planner {
 public:
  explicit Planner(const CliOptions& options) : options_(options) {}

  // False with `problems_` filled when the call is a usage error.
  bool Plan(std::vector<PlannedInput>* inputs) {
    CheckOutputDir();
    for (const std::string& from : options_.fromPaths) {
      PlannedInput input;
      input.from = from;
      input.to = OutputName(from);
      input.science = ScienceNamesFor(options_, input.to);
      input.waves = WavesNameFor(options_, input.to);
      if (!options_.formats.legacy)
        input.to.clear();  // the legacy CSV is made, and thrown away
      inputs->push_back(std::move(input));
    }
    FindCollisions(*inputs);
    FindWavesOnOutputs(*inputs);
    return problems_.empty();
  }

  const std::vector<std::string>& problems() const { return problems_; }

 private:
  // "-o result.csv" for a folder that does not exist is most likely meant
  // as FROM TO: making a folder of that name would hide the mistake.
  void CheckOutputDir() {
    if (options_.form != CliForm::OutputDir)
      return;
    const std::filesystem::path dir = options_.outputDir;
    std::error_code ignored;
    if (std::filesystem::exists(dir, ignored) || !IsOutputFileName(dir))
      return;
    std::string problem = "-o names the folder to write into, and " +
                          QuotedName(options_.outputDir) +
                          " looks like the name of an output file; ";
    if (options_.fromPaths.size() == 1) {
      problem += "to convert " + QuotedName(options_.fromPaths[0]) +
                 " into it, give FROM TO: " + "zorqconvert-cli " +
                 ShownName(options_.fromPaths[0]) + " " + ShownName(options_.outputDir);
    } else {
      problem += "give a folder name";
    }
    problems_.push_back(problem + " (or make the folder first, when a folder is meant)");
  }

  static bool IsOutputFileName(const std::filesystem::path& dir) {
    std::string extension = dir.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".csv";
  }

  std::string OutputName(const std::string& from) {
    switch (options_.form) {
      case CliForm::FromTo:
        return options_.toPath;
      case CliForm::Check:
        return "";
      case CliForm::OutputDir:
        break;
    }
    const std::filesystem::path name = std::filesystem::path(from).filename();
    if (name.empty() || name == "." || name == "..") {
      problems_.push_back(QuotedName(from) + " names no file to make an output name from");
      return "";
    }
    return (std::filesystem::path(options_.outputDir) / name.stem()).string() + ".csv";
  }

  void FindCollisions(const std::vector<PlannedInput>& inputs) {
    if (options_.form == CliForm::Check)
      return;
    std::map<std::string, const PlannedInput*> seen;
    for (const PlannedInput& input : inputs) {
      for (const std::string* to : {&input.to, &input.science.netcdfTo, &input.science.tidyTo}) {
        if (to->empty() || *to == "-")
          continue;
        const std::string key = std::filesystem::absolute(*to).lexically_normal().string();
        const auto [at, fresh] = seen.emplace(key, &input);
        if (!fresh) {
          problems_.push_back(
              at->second == &input
                  ? QuotedName(input.from) + " would have two outputs named " + QuotedName(*to)
                  : QuotedName(at->second->from) + " and " + QuotedName(input.from) +
                        " would both be written to " + QuotedName(*to));
        }
      }
    }
  }

  // The statistics may not land on an output, their own dump or another
  // input's statistics.
  void FindWavesOnOutputs(const std::vector<PlannedInput>& inputs) {
    std::map<std::string, const PlannedInput*> seen;
    const auto key = [](const std::string& name) {
      return std::filesystem::absolute(name).lexically_normal().string();
    };
    for (const PlannedInput& input : inputs) {
      if (!input.to.empty() && input.to != "-")
        seen.emplace(key(input.to), &input);
      if (input.from != "-")
        seen.emplace(key(input.from), &input);
    }
    for (const PlannedInput& input : inputs) {
      if (input.waves.empty() || input.waves == "-")
        continue;
      const auto [at, fresh] = seen.emplace(key(input.waves), &input);
      if (!fresh) {
        problems_.push_back(
            "the wave statistics of " + QuotedName(input.from) + " would be written to " +
            QuotedName(input.waves) + ", which " +
            (at->second == &input ? "is its own FROM or TO" : "another input uses"));
      }
    }
  }

  const CliOptions& options_;
  std::vector<std::string> problems_;
};

// Makes the -o folder with its parents, once for every input. Empty when it
// is there; else why not.
std::string MakeOutputDir(const std::string& dir) {
  std::error_code failure;
  std::filesystem::create_directories(dir, failure);
  if (failure)
    return "cannot make the folder " + QuotedName(dir) + ": " + failure.message();
  if (!std::filesystem::is_directory(dir, failure))
    return "cannot write into " + QuotedName(dir) + ": it is not a folder";
  return "";
}

// --- One conversion ---

// What listens to a conversion besides the legacy CSV: the science outputs,
// the wave statistics, both or neither.
class Listeners {
 public:
  void Add(ScienceTargets* science) {
    science_ = science;
    fanOut_.Add(science->listener());
  }
  void Add(WaveTargets* waves) {
    waves_ = waves;
    fanOut_.Add(waves->listener());
  }
  ReadingListener* Listener() { return fanOut_.Empty() ? nullptr : &fanOut_; }
  ScienceTargets* Science() const { return science_; }
  bool Failed() const {
    return (science_ != nullptr && science_->failed()) || (waves_ != nullptr && waves_->failed());
  }
  std::string Error() const {
    if (science_ != nullptr && science_->failed())
      return science_->error();
    return waves_ != nullptr ? waves_->error() : "";
  }
  void Abandon() {
    if (science_ != nullptr)
      science_->Abandon();
    if (waves_ != nullptr)
      waves_->Abandon();
  }

 private:
  ScienceTargets* science_ = nullptr;
  WaveTargets* waves_ = nullptr;
  ReadingFanOut fanOut_;
};

class Converter {
 public:
  Converter(const CliOptions& options, ProgressLine* progress)
      : options_(options), progress_(progress) {}

  // Converts one input and puts its output in place. The output's writeback
  // started while it grew, so the sync before it is put in place finds
  // little left to wait for.
  InputOutcome Convert(const PlannedInput& input) const {
    InputOutcome outcome;
    if (StopSignal() != 0)
      return Stopped(outcome);
    std::string fromFull = input.from;
    std::string toFull = input.to;
    if ((input.from != "-" && !FullPath(input.from, &fromFull, &outcome.problem)) ||
        (IsNamedOutput(input) && !FullPath(input.to, &toFull, &outcome.problem))) {
      return FileProblem(outcome);
    }
    InputSource source;
    const bool opened = source.Open(fromFull, &outcome.problem);
    // A stop signal ends the wait for a pipe's first bytes, or for a named
    // pipe's writer: the input is stopped, not unreadable or of no kind.
    if (StopSignal() != 0) {
      outcome.problem.clear();
      return Stopped(outcome);
    }
    if (!opened)
      return FileProblem(outcome);
    outcome.look = source.look();
    outcome.head = source.head();
    const KindChoice kinds = ChooseKinds(options_, source.look(), source.head(), Shown(input));
    outcome.fromType = kinds.fromType;
    outcome.toType = kinds.toType;
    if (!kinds.problem.empty())
      return NotConverted(outcome, kinds);
    auto output = std::make_unique<SafeOutput>();
    if (!PrepareOutput(input, toFull, source, output.get(), &outcome.problem))
      return FileProblem(outcome);
    Listeners listeners;
    std::unique_ptr<ScienceTargets> science;
    if (options_.formats.Science()) {
      science =
          std::make_unique<ScienceTargets>(options_, outcome.fromType, input.from, source.size());
      if (!science->Prepare(input.science, source.device(), source.inode(), &outcome.problem)) {
        output->Abandon();
        return FileProblem(outcome);
      }
      listeners.Add(science.get());
    }
    // With --waves, the NetCDF output carries the statistics too.
    std::unique_ptr<WaveTargets> waves;
    if (!input.waves.empty()) {
      if (!PrepareWaves(input, source, &waves, &outcome.problem)) {
        if (science)
          science->Abandon();
        output->Abandon();
        return FileProblem(outcome);
      }
      if (science && science->netcdf() != nullptr)
        waves->AddTo(science->netcdf(), StatisticsUnits(outcome.fromType));
      listeners.Add(waves.get());
    }
    if (!RunDispatch(input, source, output.get(), listeners, &outcome))
      return outcome;
    // The statistics first: when the science outputs fail after them, they
    // are taken back with the rest.
    if (waves && !FinishWaves(waves.get(), output.get(), &outcome)) {
      if (science)
        science->Abandon();
      return outcome;
    }
    if (science && !FinishScience(science.get(), output.get(), &outcome)) {
      if (waves)
        waves->TakeBack();
      return outcome;
    }
    const bool syncs =
        output->kind() == SafeOutput::Kind::New || output->kind() == SafeOutput::Kind::Replace;
    if (syncs && outcome.status != kStatusFinished)
      KeepPartial(input, output.get(), &outcome);
    else
      Place(output.get(), &outcome);
    return outcome;
  }

  static std::string Shown(const PlannedInput& input) {
    return input.from == "-" ? "standard input" : QuotedName(input.from);
  }

  // Puts the output in place, or takes it back when a stop signal came
  // meanwhile.
  static void Place(SafeOutput* output, InputOutcome* outcome) {
    if (StopSignal() != 0) {
      output->Abandon();
      Stopped(*outcome);
      outcome->streamedBytes = output->streamedBytes();
      return;
    }
    std::string placeProblem;
    const bool placed = output->Commit(&placeProblem);
    if (output->kind() == SafeOutput::Kind::Stream)
      outcome->result.report.bytesWritten = output->streamedBytes();
    if (!placed && output->streamError() == EPIPE) {
      // The reader of standard output went away (head): end quietly, as cat.
      RequestStop(SIGPIPE);
      Stopped(*outcome);
    } else if (!placed && output->kind() == SafeOutput::Kind::Stream) {
      outcome->problem = placeProblem;
      outcome->status = kStatusWriteError;
      outcome->exitStatus = kStatusWriteError;
    } else if (!placed) {
      outcome->problem = placeProblem;
      FileProblem(*outcome);
    }
  }

 private:
  static bool IsNamedOutput(const PlannedInput& input) {
    return !input.to.empty() && input.to != "-";
  }

  static InputOutcome& FileProblem(InputOutcome& outcome) {
    outcome.status = kStatusFileError;
    outcome.exitStatus = kStatusFileError;
    return outcome;
  }

  // A failed conversion leaves nothing that looks finished: what it wrote
  // before the failure is kept apart, as NAME.partial.
  static void KeepPartial(const PlannedInput& input, SafeOutput* output, InputOutcome* outcome) {
    std::string keepProblem;
    outcome->oldOutputKept = output->kind() == SafeOutput::Kind::Replace;
    if (output->KeepPartial(&keepProblem)) {
      outcome->partialOutput = input.to + kPartialSuffix;
    } else if (!keepProblem.empty()) {
      outcome->problem += (outcome->problem.empty() ? "" : "; ") + keepProblem;
    }
  }

  static InputOutcome& NotConverted(InputOutcome& outcome, const KindChoice& kinds) {
    outcome.problem = kinds.problem;
    outcome.status = kinds.status;
    outcome.exitStatus = kinds.exitStatus;
    outcome.refusedByOptions = kinds.status == kStatusReady;
    return outcome;
  }

  static InputOutcome& Stopped(InputOutcome& outcome) {
    outcome.cancelled = true;
    outcome.stopSignal = StopSignal() != 0 ? StopSignal() : SIGTERM;
    outcome.exitStatus = ExitStatusForSignal(outcome.stopSignal);
    return outcome;
  }

  bool PrepareOutput(const PlannedInput& input, const std::string& toFull,
                     const InputSource& source, SafeOutput* output, std::string* error) const {
    if (input.to == "-") {
      // As cat refuses: appending to its own input, the output would be read
      // back as input without end.
      struct stat out {};
      if (::fstat(1, &out) == 0 && S_ISREG(out.st_mode) && out.st_dev == source.device() &&
          out.st_ino == source.inode()) {
        *error = Shown(input) + ": input file is output file (standard output)";
        return false;
      }
      return output->PrepareStream(1, error);
    }
    if (input.to.empty())
      return output->PrepareStream(-1, error);  // --check: the bytes are counted, not kept
    OutputPolicy policy;
    policy.append = options_.append;
    policy.overwrite = options_.overwrite;
    policy.legacyWording = options_.legacyCall;
    return output->Prepare(toFull, input.to, policy, source.device(), source.inode(), error);
  }

  bool PrepareWaves(const PlannedInput& input, const InputSource& source,
                    std::unique_ptr<WaveTargets>* waves, std::string* error) const {
    *waves = std::make_unique<WaveTargets>(options_,
                                           TimeAxis(options_.science.zone, options_.science.clock));
    std::string full = input.waves;
    if (full != "-" && !FullPath(input.waves, &full, error))
      return false;
    return (*waves)->Prepare(full, source.device(), source.inode(), error);
  }

  // The units of the readings the statistics are in: metres of water with
  // --pressure, else those of the NetCDF output's readings.
  std::string StatisticsUnits(int fromType) const {
    if (options_.waves.pressure)
      return "m";
    ScienceSettings settings = options_.science;
    settings.gauge = IsGaugeDump(fromType);
    return ReadingUnits(settings);
  }

  // The statistics are put in place when the conversion finished; else they
  // are taken back with what the conversion left. When they cannot be put
  // in place, the output is taken back too: a run leaves all its outputs or
  // none.
  static bool FinishWaves(WaveTargets* waves, SafeOutput* output, InputOutcome* outcome) {
    if (outcome->status != kStatusFinished || !outcome->problem.empty()) {
      waves->Abandon();
      return true;
    }
    if (!waves->Finish(&outcome->problem)) {
      output->Abandon();
      WriteProblem(*outcome);
      return false;
    }
    if (waves->writesCsv())
      outcome->waves = waves->summary();
    return true;
  }

  // False when the outcome is settled already (nothing ran, or it was
  // stopped and taken back).
  // Finishes and places the NetCDF and tidy outputs before the legacy CSV
  // is placed; when one fails, the legacy CSV is taken back too, so that a
  // run leaves all of its outputs or none.
  static bool FinishScience(ScienceTargets* science, SafeOutput* output, InputOutcome* outcome) {
    if (StopSignal() != 0) {
      science->Abandon();
      output->Abandon();
      Stopped(*outcome);
      return false;
    }
    if (!science->Finish(outcome->result, &outcome->problem)) {
      output->Abandon();
      WriteProblem(*outcome);
      return false;
    }
    outcome->warnings = science->Warnings();
    return true;
  }

  static InputOutcome& WriteProblem(InputOutcome& outcome) {
    outcome.status = kStatusWriteError;
    outcome.exitStatus = kStatusWriteError;
    return outcome;
  }

  bool RunDispatch(const PlannedInput& input, InputSource& source, SafeOutput* output,
                   Listeners& listeners, InputOutcome* outcome) const {
    DispatchRequest request;
    request.from = &source.source();
    request.to = output->Sink();
    request.fromOpen = request.toOpen = true;
    request.fromType = outcome->fromType;
    request.toType = outcome->toType;
    request.correction.on = options_.correction;
    request.correction.gain = options_.gain;
    request.correction.offset = options_.offset;
    // request.carried stays empty: no header value carries over between inputs.
    const std::string name = input.from == "-" ? "<stdin>" : ShownName(input.from);
    request.progress = [this, &name](int64_t bytesRead, int64_t fromSize) {
      progress_->Update(name, bytesRead, fromSize);
    };
    request.cancelRequested = [&listeners] { return StopSignal() != 0 || listeners.Failed(); };
    request.readings = listeners.Listener();
    request.lfLineEnds = options_.lfLineEnds;
    request.zone = options_.science.zone;
    if (ScienceTargets* science = listeners.Science()) {
      source.source().SetTap(
          [science](const char* bytes, size_t count) { science->digest().Update(bytes, count); });
    }

    DispatchOutcome dispatched = DispatchConversion(request);
    ConversionReport& report = dispatched.result.report;
    if (report.failed && report.look.lfLineEnds && !options_.lfLineEnds)
      report.failure.reason += " (--lf-line-ends)";
    std::string readProblem;
    const bool readWhole = source.Finish(&readProblem);
    outcome->converterRan = dispatched.converterRan;
    outcome->status = dispatched.status;
    outcome->exitStatus = ExitStatusOfStatus(dispatched.status);
    if (dispatched.status == kStatusFileError && dispatched.popupText != nullptr)
      outcome->problem = InCommandLineWords(dispatched.popupText);
    outcome->result = std::move(dispatched.result);
    std::string& reason = outcome->result.report.failure.reason;
    reason = OptionsForChoices(reason);
    // The digest stands for the dump only when every byte of it was read.
    if (listeners.Science() != nullptr)
      listeners.Science()->TakeDigest(readWhole && dispatched.status == kStatusFinished);
    if (listeners.Failed() && StopSignal() == 0) {
      outcome->problem = listeners.Error();
      listeners.Abandon();
      output->Abandon();
      WriteProblem(*outcome);
      return false;
    }
    if (dispatched.cancelled || StopSignal() != 0) {
      listeners.Abandon();
      output->Abandon();
      Stopped(*outcome);
      outcome->streamedBytes = output->streamedBytes();
      return false;
    }
    if (!readWhole) {
      outcome->problem = readProblem;
      FileProblem(*outcome);
    }
    return true;
  }

  const CliOptions& options_;
  ProgressLine* progress_;
};

// --- Reports ---

class Reporter {
 public:
  Reporter(const CliOptions& options, std::string timeZone, ProgressLine* progress)
      : options_(options), timeZone_(std::move(timeZone)), progress_(progress) {}

  // `tellProblem` false: the outcome's problem was told once for every input.
  void Report(const PlannedInput& input, const InputOutcome& outcome, bool tellProblem = true) {
    if (options_.json) {
      WriteJson(JsonReportLine(ToJson(input, outcome)) + "\n");
      std::string complaints;
      if (tellProblem && !outcome.problem.empty() && !outcome.cancelled)
        complaints += "zorqconvert-cli: " + outcome.problem + "\n";
      progress_->Print(complaints + WhatWasLeft(input, outcome));
      return;
    }
    progress_->Print(InWords(input, outcome, tellProblem));
  }

  // The errno of the JSON report's failed write, 0 when every line went out.
  int reportError() const { return reportError_; }

 private:
  // A reader that went away (head -1) ends the call quietly, as it ends cat
  // or grep; any other failure is told once and fails the call.
  void WriteJson(const std::string& line) {
    if (reportError_ != 0)
      return;  // after a failed write, the next line would follow a torn one
    errno = 0;
    if (std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0)
      return;
    reportError_ = errno != 0 ? errno : EIO;
    if (reportError_ == EPIPE) {
      RequestStop(SIGPIPE);
      return;
    }
    progress_->Print(std::string("zorqconvert-cli: cannot write the JSON report to standard "
                                 "output: ") +
                     std::strerror(reportError_) + "; the reports from here on are lost\n");
  }

  // Standard error: what went wrong with the files, a summary, the failure
  // where an editor can jump to it, and the status line last.
  std::string InWords(const PlannedInput& input, const InputOutcome& outcome,
                      bool tellProblem) const {
    if (outcome.cancelled && outcome.stopSignal == SIGPIPE)
      return "";  // the reader is gone: nobody to tell
    std::string text;
    if (tellProblem && !outcome.problem.empty())
      text += "zorqconvert-cli: " + outcome.problem + "\n";
    if (outcome.cancelled) {
      return text + "zorqconvert-cli: " + Shown(input) + ": stopped by " +
             SignalName(outcome.stopSignal) + "; " + WhatWasKept(input, outcome) + "\n";
    }
    if (!options_.legacyCall && outcome.converterRan)
      text += WhatTheEngineSaid(input, outcome);
    for (const std::string& warning : outcome.warnings)
      text += "zorqconvert-cli: " + Shown(input) + ": " + warning + "\n";
    text += WhatWasLeft(input, outcome);
    if (outcome.refusedByOptions || (options_.quiet && outcome.status == kStatusFinished))
      return text;
    return text + StatusMessage(outcome.status) + "\n";
  }

  // Where the records written before a failure are, and whether the last
  // of them is torn.
  std::string WhatWasLeft(const PlannedInput& input, const InputOutcome& outcome) const {
    return WhereTheRecordsAre(input, outcome) + WhetherTorn(input, outcome);
  }

  static std::string WhetherTorn(const PlannedInput& input, const InputOutcome& outcome) {
    const ConversionReport& report = outcome.result.report;
    if (!outcome.converterRan || report.tornRecordBytes <= 0)
      return "";
    const std::string where = input.to == "-"                 ? "standard output"
                              : outcome.partialOutput.empty() ? QuotedName(input.to)
                                                              : QuotedName(outcome.partialOutput);
    return "zorqconvert-cli: " + where + " ends in a torn record: only " +
           GroupedCount(report.tornRecordBytes) + " bytes of it were taken; the " +
           GroupedCount(report.recordsWritten) + " records before it are whole\n";
  }

  std::string WhereTheRecordsAre(const PlannedInput& input, const InputOutcome& outcome) const {
    if (!outcome.partialOutput.empty()) {
      return "zorqconvert-cli: " + QuotedName(input.to) +
             (outcome.oldOutputKept ? " was not replaced" : " was not made") +
             "; what was written before the failure is kept as " +
             QuotedName(outcome.partialOutput) + "\n";
    }
    const bool appendedSome = options_.append && outcome.converterRan &&
                              outcome.status != kStatusFinished &&
                              outcome.result.report.bytesWritten > 0 && input.to != "-";
    if (appendedSome) {
      return "zorqconvert-cli: " + QuotedName(input.to) +
             " keeps what was appended before the failure, after its earlier bytes\n";
    }
    return "";
  }

  std::string WhatTheEngineSaid(const PlannedInput& input, const InputOutcome& outcome) const {
    std::string text;
    const ConversionReport& report = outcome.result.report;
    if (!options_.quiet)
      text += Shown(input) + ": " + ReportSummaryLine(outcome.result) + "\n";
    if (report.failed && !report.failure.reason.empty()) {
      text += Shown(input) +
              (report.failure.line > 0 ? ":" + std::to_string(report.failure.line) : "") + ": " +
              report.failure.reason + "\n";
    }
    const int64_t dropped = BytesDroppedForCrLineEnds(outcome);
    if (dropped > 0) {
      text += Shown(input) +
              ": its lines end in CR alone, and only LF (or CR LF) ends a line: " + "the " +
              std::to_string(dropped) +
              " bytes after the header were dropped as one unfinished line\n";
    }
    return text;
  }

  // A dump written with CR alone at its line ends reads as one line that
  // never ends: its bytes are dropped, and the output is empty.
  static int64_t BytesDroppedForCrLineEnds(const InputOutcome& outcome) {
    const std::string& head = outcome.head;
    if (head.find('\n') != std::string::npos || head.find('\r') == std::string::npos)
      return 0;
    for (const Anomaly& anomaly : outcome.result.report.anomalies) {
      if (anomaly.kind == AnomalyKind::UnfinishedLastLine)
        return outcome.result.report.bytesRead - anomaly.byte;
    }
    return 0;
  }

  InputReport ToJson(const PlannedInput& input, const InputOutcome& outcome) const {
    InputReport report;
    report.from = input.from;
    if (!input.to.empty())
      report.to = input.to;
    if (input.science.netcdf)
      report.netcdf = input.science.netcdfTo;
    if (input.science.tidy)
      report.tidy = input.science.tidyTo;
    report.warnings = outcome.warnings;
    if (outcome.fromType != 0)
      report.fromType = outcome.fromType;
    if (outcome.toType >= 0)
      report.toType = outcome.toType;
    if (!outcome.cancelled)
      report.status = outcome.status;
    report.message = outcome.cancelled ? "stopped by " + SignalName(outcome.stopSignal)
                                       : StatusMessage(outcome.status);
    report.exitStatus = outcome.exitStatus;
    report.cancelled = outcome.cancelled;
    report.problem = outcome.problem;
    report.partialOutput = outcome.partialOutput;
    report.look = outcome.look;
    report.result = outcome.converterRan ? &outcome.result : nullptr;
    report.timeZone = timeZone_;
    if (outcome.waves) {
      report.waves = InputReport::Waves{input.waves, outcome.waves->segments,
                                        outcome.waves->firstHm0, outcome.waves->firstTp};
    }
    return report;
  }

  static std::string Shown(const PlannedInput& input) {
    return input.from == "-" ? "<stdin>" : ShownName(input.from);
  }

  std::string WhatWasKept(const PlannedInput& input, const InputOutcome& outcome) const {
    const auto named = [](const std::string& to) { return !to.empty() && to != "-"; };
    // What went down a pipe cannot be taken back: say how much.
    if (input.to == "-" && outcome.streamedBytes > 0) {
      return GroupedCount(outcome.streamedBytes) + " bytes (" + ByteSize(outcome.streamedBytes) +
             ") had already gone to standard output; they end in the middle of the output";
    }
    if (!named(input.to) && !named(input.science.netcdfTo) && !named(input.science.tidyTo))
      return "nothing was kept";
    return options_.append ? QuotedName(input.to) + " is as it was before" : "no output was made";
  }

  static std::string SignalName(int signal) {
    switch (signal) {
      case SIGINT:
        return "SIGINT";
      case SIGTERM:
        return "SIGTERM";
      case SIGHUP:
        return "SIGHUP";
      case SIGPIPE:
        return "SIGPIPE";
      default:
        return "signal " + std::to_string(signal);
    }
  }

  const CliOptions& options_;
  std::string timeZone_;
  ProgressLine* progress_;
  int reportError_ = 0;
};

// --- Running them all ---

// Runs the inputs on up to `jobs` threads and reports each, in command-line
// order, as soon as it and every input before it are done.
class Batch {
 public:
  Batch(const CliOptions& options, std::vector<PlannedInput>* inputs, const Converter& converter,
        Reporter& reporter, ProgressLine* progress)
      : options_(options),
        inputs_(*inputs),
        converter_(converter),
        reporter_(reporter),
        progress_(progress),
        told_(inputs->size()) {}

  // The exit status of the whole call.
  int Run() {
    const size_t threads = std::min<size_t>(static_cast<size_t>(options_.jobs), inputs_.size());
    std::vector<std::thread> workers;
    for (size_t i = 0; i < threads; ++i)
      workers.emplace_back([this] { Work(); });
    ReportInOrder();
    for (std::thread& worker : workers)
      worker.join();
    SyncPlacedFolders();
    progress_->Finish();
    return ExitStatus();
  }

 private:
  void Work() {
    for (size_t index = next_++; index < inputs_.size(); index = next_++) {
      InputOutcome outcome = converter_.Convert(inputs_[index]);
      progress_->InputDone();
      Settle(index, std::move(outcome));
    }
  }

  void Settle(size_t index, InputOutcome outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.emplace(index, std::move(outcome));
    ready_.notify_all();
  }

  void ReportInOrder() {
    for (size_t index = 0; index < inputs_.size(); ++index) {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [&] { return waiting_.count(index) != 0; });
      auto found = waiting_.find(index);
      InputOutcome outcome = std::move(found->second);
      waiting_.erase(found);
      lock.unlock();
      reporter_.Report(inputs_[index], outcome);
      // Only what the exit status needs stays, a few bytes an input, so that
      // memory stays flat over thousands of inputs.
      told_[index] = ToldOutcome{outcome.cancelled, outcome.exitStatus};
    }
  }

  // A signal counts when it stopped something: an input that had already
  // been put in place when it came keeps its own status. A JSON report that
  // could not be written fails a call that would have succeeded.
  int ExitStatus() const {
    for (const ToldOutcome& outcome : told_) {
      if (outcome.cancelled)
        return outcome.exitStatus;
    }
    // The reader of the reports went away after every input had been
    // converted: the call still ends as a closed pipe ends it.
    if (reporter_.reportError() == EPIPE)
      return ExitStatusForSignal(SIGPIPE);
    for (const ToldOutcome& outcome : told_) {
      if (outcome.exitStatus != 0)
        return outcome.exitStatus;
    }
    return reporter_.reportError() != 0 ? kStatusFileError : 0;
  }

  struct ToldOutcome {
    bool cancelled = false;
    int exitStatus = 0;
  };

  const CliOptions& options_;
  std::vector<PlannedInput>& inputs_;
  const Converter& converter_;
  Reporter& reporter_;
  ProgressLine* progress_;
  std::vector<ToldOutcome> told_;
  // Done but not yet reported: the inputs that finished before one ahead
  // of them in command-line order.
  std::map<size_t, InputOutcome> waiting_;
  std::atomic<size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable ready_;
};

int UsageProblems(const std::vector<std::string>& problems) {
  for (const std::string& problem : problems)
    std::fprintf(stderr, "zorqconvert-cli: %s\n", problem.c_str());
  std::fputs(ShortUsageText(), stderr);
  return kExitUsage;
}

// Every input fails for one reason, told once; --json still reports each.
int FailEveryInput(const std::vector<PlannedInput>& inputs, const std::string& problem,
                   Reporter* reporter, ProgressLine* progress) {
  progress->Print("zorqconvert-cli: " + problem + "\n");
  for (const PlannedInput& input : inputs) {
    InputOutcome outcome;
    outcome.problem = problem;
    outcome.status = kStatusFileError;
    outcome.exitStatus = kStatusFileError;
    reporter->Report(input, outcome, /*tellProblem=*/false);
  }
  return kStatusFileError;
}

}  // namespace

int RunConversions(const CliOptions& given) {
  // Before any thread: the zone, the umask, the signals.
  Zone zone;
  std::string zoneProblem;
  if (!ResolveTimeZone(given.timeZone, &zone, &zoneProblem))
    return UsageProblems({zoneProblem});
  CliOptions options = given;
  options.science.zone = zone;  // every output reads the dump's clock in it
  const std::string timeZone = zone.name();
  RememberUmask();
  InstallStopSignals();
  ::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, not an end

  std::vector<PlannedInput> inputs;
  Planner planner(options);
  if (!planner.Plan(&inputs))
    return UsageProblems(planner.problems());

  ProgressLine progress(ProgressWanted(options.quiet), ColourWanted(), inputs.size());
  Reporter reporter(options, timeZone, &progress);
  if (options.form == CliForm::OutputDir) {
    const std::string folderProblem = MakeOutputDir(options.outputDir);
    if (!folderProblem.empty())
      return FailEveryInput(inputs, folderProblem, &reporter, &progress);
  }
  const Converter converter(options, &progress);
  return Batch(options, &inputs, converter, reporter, &progress).Run();
}
