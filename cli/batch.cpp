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
#include <set>
#include <string_view>
#include <vector>

#include "cli/input_source.h"
#include "cli/json_report.h"
#include "cli/kinds.h"
#include "cli/merge.h"
#include "cli/progress.h"
#include "cli/signals.h"
#include "cli/time_zone.h"
#include "convert/dispatch.h"
#include "convert/dump_types.h"
#include "convert/report_text.h"
#include "convert/status.h"
#include "outputs/conversion_job.h"
#include "outputs/file_checks.h"
#include "outputs/quoting.h"
#include "outputs/safe_output.h"
#include "outputs/wave_targets.h"
#include "runtime/worker.h"
#include "science/metadata.h"
#include "science/standard_names.h"

namespace {

constexpr int kExitUsage = 64;

// One input as the command line names it.
struct PlannedInput {
  std::string from;  // as given
  std::string to;    // the legacy CSV as given or made from -o; "-" standard output; empty
                     // with --check or when no legacy CSV is asked for
  JobTargets targets;
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
  std::optional<int64_t> netcdfReadingsOutOfOrder;
  std::optional<TrimmedCounts> trimmed;
  std::optional<ReadingFlagCounts> qcCounts;
  std::optional<WaveSummary> waves;  // when the statistics were put in place
  // What a failed or stopped conversion's outputs wrote, kept under these
  // names instead of their own (NAME.partial).
  std::vector<std::string> partials;
  bool oldOutputKept = false;  // --overwrite failed: the old output is as it was
  bool appendedKept = false;   // --append failed: what was appended stays
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

// A command-line run carries no header values from an earlier conversion:
// a gauge header without its "T" has no type code at all. On a logger dump
// the missing "T" means the From type was wrong.
std::string WithoutCarriedTypeCode(const std::string& reason, const std::optional<DumpLook>& look) {
  static const std::regex kCarried(
      ", and the type code kept from the last gauge conversion is -?[0-9]+");
  if (!std::regex_search(reason, kCarried))
    return reason;
  if (look && look->kind == DumpKind::Logger)
    return "the header is a logger dump's (no T at byte 49), not a gauge dump's: give "
           "--from-type 1 or 2, or leave --from-type out";
  return std::regex_replace(reason, kCarried, ": the type code is missing");
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
      input.targets = TargetsFor(input.to);
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

  // Where each output of an input whose legacy CSV would be `to` goes.
  // FROM TO with one format: TO is that output's own name; else the others
  // take TO's name with its extension replaced.
  JobTargets TargetsFor(const std::string& to) const {
    const FormatSet& formats = options_.formats;
    const bool check = options_.form == CliForm::Check;
    const bool toIsTheOutput = options_.form == CliForm::FromTo && formats.Count() == 1;
    const auto target = [&](bool wanted, const char* extension) {
      if (!wanted)
        return OutputTarget{};
      if (check)
        return OutputTarget::Discard();
      if (to == "-")
        return OutputTarget::StandardOutput();
      return OutputTarget::File(toIsTheOutput ? to : Sibling(to, extension));
    };
    JobTargets targets;
    targets.legacy = formats.legacy ? target(true, ".csv") : OutputTarget::Discard();
    if (formats.legacy && !check && to != "-")
      targets.legacy = OutputTarget::File(to);
    targets.netcdf = target(formats.netcdf, kNetcdfExtension);
    targets.tidy = target(formats.tidy, kTidyExtension);
    const std::string& waves = options_.wavesTo;
    if (waves == "-")
      targets.waves = OutputTarget::StandardOutput();
    else if (waves == kWavesBesideOutput)
      targets.waves = OutputTarget::File(Sibling(to, kWavesExtension));
    else if (!waves.empty())
      targets.waves = OutputTarget::File(waves);
    targets.wavesNetcdf = WavesNetcdfBeside(targets.netcdf, targets.waves);
    return targets;
  }

  static std::string Sibling(const std::string& name, const char* extension) {
    std::filesystem::path path(name);
    path.replace_extension();
    return path.string() + extension;
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
      case CliForm::Merge:  // run on its own, never planned here
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
      for (const std::string* to : {&input.to, &input.targets.netcdf.path, &input.targets.tidy.path,
                                    &input.targets.wavesNetcdf.path}) {
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
      const std::string& waves = input.targets.waves.path;
      if (!input.targets.waves.named())
        continue;
      const auto [at, fresh] = seen.emplace(key(waves), &input);
      if (!fresh) {
        problems_.push_back(
            "the wave statistics of " + QuotedName(input.from) + " would be written to " +
            QuotedName(waves) + ", which " +
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

}  // namespace

OutputSettings OutputSettingsOf(const CliOptions& options) {
  OutputSettings settings;
  settings.overwrite = options.overwrite;
  settings.append = options.append;
  settings.legacyWording = options.legacyCall;
  settings.correction.on = options.correction;
  settings.correction.gain = options.gain;
  settings.correction.offset = options.offset;
  settings.science = options.science;
  settings.waves = options.waves;
  settings.stopFd = StopSignalFd();
  return settings;
}

namespace {

class Converter {
 public:
  Converter(const CliOptions& options, ProgressLine* progress)
      : options_(options), settings_(OutputSettingsOf(options)), progress_(progress) {}

  // Converts one input and puts its outputs in place, all of them or none.
  // Every output is readied before the dump is read: an output that cannot
  // be made costs no reading.
  InputOutcome Convert(const PlannedInput& input) const {
    InputOutcome outcome;
    if (StopSignal() != 0)
      return Stopped(outcome);
    std::string fromFull = input.from;
    if (input.from != "-" && !FullPath(input.from, &fromFull, &outcome.problem))
      return FileProblem(outcome);
    InputSource source;
    if (!source.Open(fromFull, &outcome.problem))
      return FileProblem(outcome);
    JobInput dump;
    dump.name = input.from;
    dump.bytes = source.size();
    dump.device = source.device();
    dump.inode = source.inode();
    ConversionJob job(settings_, input.targets, dump);
    if (!job.Reserve(&outcome.problem))
      return FileProblem(outcome);
    const bool headRead = source.ReadHead(&outcome.problem);
    // A stop signal ends the wait for a pipe's first bytes, or for a named
    // pipe's writer: the input is stopped, not unreadable or of no kind.
    if (StopSignal() != 0) {
      outcome.problem.clear();
      job.Abandon();
      return Stopped(outcome);
    }
    if (!headRead) {
      job.Abandon();
      return FileProblem(outcome);
    }
    outcome.look = source.look();
    outcome.head = source.head();
    const KindChoice kinds = ChooseKinds(options_, source.look(), source.head(), Shown(input));
    outcome.fromType = kinds.fromType;
    outcome.toType = kinds.toType;
    if (!kinds.problem.empty()) {
      job.Abandon();
      return NotConverted(outcome, kinds);
    }
    job.TakeHeader(source.look());
    if (!job.Start(outcome.fromType, &outcome.problem))
      return FileProblem(outcome);
    const RunEnd end = RunDispatch(input, source, job, &outcome);
    // A buffer still being read ahead would tell its bytes to the job's
    // digest while the job finishes, or after it is gone.
    source.Close();
    const JobOutcome finished =
        job.Finish(outcome.result, end, end == RunEnd::Finished, [] { return StopSignal() != 0; });
    TellJobOutcome(input, finished, &outcome);
    return outcome;
  }

  static std::string Shown(const PlannedInput& input) {
    return input.from == "-" ? "standard input" : QuotedName(input.from);
  }

 private:
  static InputOutcome& FileProblem(InputOutcome& outcome) {
    outcome.status = kStatusFileError;
    outcome.exitStatus = kStatusFileError;
    return outcome;
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

  static InputOutcome& WriteProblem(InputOutcome& outcome) {
    outcome.status = kStatusWriteError;
    outcome.exitStatus = kStatusWriteError;
    return outcome;
  }

  // What the job made of the run: placed, kept as partials, stopped, or an
  // output that failed (a write error, status 5).
  static void TellJobOutcome(const PlannedInput& input, const JobOutcome& job,
                             InputOutcome* outcome) {
    outcome->warnings = job.warnings;
    outcome->netcdfReadingsOutOfOrder = job.netcdfReadingsOutOfOrder;
    outcome->trimmed = job.trimmed;
    outcome->qcCounts = job.qcCounts;
    outcome->waves = job.waves;
    outcome->partials = job.partials;
    outcome->oldOutputKept = job.oldOutputKept;
    outcome->appendedKept = job.appendedKept;
    outcome->streamedBytes = job.streamedBytes;
    if (input.targets.legacy.form == OutputTarget::Form::StandardOutput)
      outcome->result.report.bytesWritten = job.streamedBytes;
    if (job.readerGone) {
      // The reader of standard output went away (head): end quietly, as cat.
      RequestStop(SIGPIPE);
      Stopped(*outcome);
      return;
    }
    if (job.end == RunEnd::Stopped) {
      Stopped(*outcome);
      return;
    }
    if (!job.problem.empty()) {
      outcome->problem += (outcome->problem.empty() ? "" : "; ") + job.problem;
      if (outcome->status == kStatusFinished)
        WriteProblem(*outcome);
    }
  }

  RunEnd RunDispatch(const PlannedInput& input, InputSource& source, ConversionJob& job,
                     InputOutcome* outcome) const {
    DispatchRequest request;
    request.from = &source.source();
    request.to = job.LegacySink();
    request.fromOpen = request.toOpen = true;
    request.fromType = outcome->fromType;
    request.toType = outcome->toType;
    request.correction = settings_.correction;
    // request.carried stays empty: no header value carries over between inputs.
    const std::string name = input.from == "-" ? "<stdin>" : ShownName(input.from);
    request.progress = [this, &name](int64_t bytesRead, int64_t fromSize) {
      progress_->Update(name, bytesRead, fromSize);
    };
    request.cancelRequested = [&job] { return StopSignal() != 0 || job.failed(); };
    request.readings = job.Listener();
    request.lfLineEnds = options_.lfLineEnds;
    request.zone = options_.science.zone;
    job.HearBytesOf(source.source());

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
    reason = WithoutCarriedTypeCode(OptionsForChoices(reason), outcome->look);
    if (job.failed() && StopSignal() == 0) {
      WriteProblem(*outcome);  // the job tells why
      return RunEnd::Failed;
    }
    if (dispatched.cancelled || StopSignal() != 0)
      return RunEnd::Stopped;
    if (!readWhole) {
      outcome->problem = readProblem;
      FileProblem(*outcome);
      return RunEnd::Failed;
    }
    return dispatched.status == kStatusFinished ? RunEnd::Finished : RunEnd::Failed;
  }

  const CliOptions& options_;
  const OutputSettings settings_;
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
      if (outcome.cancelled && outcome.stopSignal != SIGPIPE)
        complaints += StoppedLine(input, outcome);
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
  std::string InWords(const PlannedInput& input, const InputOutcome& outcome, bool tellProblem) {
    if (outcome.cancelled && outcome.stopSignal == SIGPIPE)
      return "";  // the reader is gone: nobody to tell
    std::string text;
    if (tellProblem && !outcome.problem.empty())
      text += "zorqconvert-cli: " + outcome.problem + "\n";
    if (outcome.cancelled)
      return text + StoppedLine(input, outcome) + WhereThePartialsAre(outcome, "the stop");
    if (!options_.legacyCall && outcome.converterRan)
      text += WhatTheEngineSaid(input, outcome);
    text += Warnings(input, outcome);
    text += WhatWasLeft(input, outcome);
    if (outcome.refusedByOptions || (options_.quiet && outcome.status == kStatusFinished))
      return text;
    return text + StatusMessage(outcome.status) + "\n";
  }

  std::string StoppedLine(const PlannedInput& input, const InputOutcome& outcome) const {
    return "zorqconvert-cli: " + Shown(input) + ": stopped by " + SignalName(outcome.stopSignal) +
           "; " + WhatWasKept(input, outcome) + "\n";
  }

  // The science outputs' warnings. Those that are the same for every
  // input of the run (a gauge dump's readings carry no unit, the outputs
  // have no position) are said once, and not under --quiet.
  std::string Warnings(const PlannedInput& input, const InputOutcome& outcome) {
    std::string text;
    for (const std::string& warning : outcome.warnings) {
      const bool sameForEveryInput = warning == unitsWarning_ || warning == positionWarning_ ||
                                     warning == statisticNamesWarning_;
      if (!sameForEveryInput) {
        text += "zorqconvert-cli: " + Shown(input) + ": " + warning + "\n";
        continue;
      }
      if (options_.quiet || !warnedOnce_.insert(warning).second)
        continue;
      const char* inputs = warning == positionWarning_ ? "input" : "gauge dump";
      text += options_.fromPaths.size() > 1
                  ? "zorqconvert-cli: " + warning + " (said once for every " + inputs +
                        " of this run)\n"
                  : "zorqconvert-cli: " + Shown(input) + ": " + warning + "\n";
    }
    return text;
  }

  // Where the records written before a failure are, and whether the last
  // of them is torn.
  std::string WhatWasLeft(const PlannedInput& input, const InputOutcome& outcome) const {
    return WhereTheRecordsAre(input, outcome) + WhetherTorn(input, outcome);
  }

  // The legacy CSV's partial, when it was kept.
  static std::string LegacyPartial(const PlannedInput& input, const InputOutcome& outcome) {
    const std::string partial = input.to + kPartialSuffix;
    for (const std::string& kept : outcome.partials) {
      if (!input.to.empty() && kept == partial)
        return kept;
    }
    return "";
  }

  static std::string WhetherTorn(const PlannedInput& input, const InputOutcome& outcome) {
    const ConversionReport& report = outcome.result.report;
    if (!outcome.converterRan || report.tornRecordBytes <= 0 || input.to.empty())
      return "";
    const std::string partial = LegacyPartial(input, outcome);
    const std::string where = input.to == "-"   ? "standard output"
                              : partial.empty() ? QuotedName(input.to)
                                                : QuotedName(partial);
    return "zorqconvert-cli: " + where + " ends in a torn record: only " +
           GroupedCount(report.tornRecordBytes) + " bytes of it were taken; the " +
           GroupedCount(report.recordsWritten) + " records before it are whole\n";
  }

  // A line for each output kept as NAME.partial.
  static std::string WhereThePartialsAre(const InputOutcome& outcome, const char* before) {
    std::string text;
    for (const std::string& partial : outcome.partials) {
      const std::string name = partial.substr(0, partial.size() - std::strlen(kPartialSuffix));
      const bool replaced = outcome.oldOutputKept && partial == outcome.partials.front();
      text += "zorqconvert-cli: " + QuotedName(name) +
              (replaced ? " was not replaced" : " was not made") + "; what was written before " +
              before + " is kept as " + QuotedName(partial) + "\n";
    }
    return text;
  }

  std::string WhereTheRecordsAre(const PlannedInput& input, const InputOutcome& outcome) const {
    if (!outcome.partials.empty())
      return WhereThePartialsAre(outcome, outcome.cancelled ? "the stop" : "the failure");
    if (outcome.appendedKept && outcome.result.report.bytesWritten > 0) {
      return "zorqconvert-cli: " + QuotedName(input.to) +
             " keeps what was appended before the failure, after its earlier bytes\n";
    }
    return "";
  }

  std::string WhatTheEngineSaid(const PlannedInput& input, const InputOutcome& outcome) const {
    std::string text;
    const ConversionReport& report = outcome.result.report;
    if (!options_.quiet)
      text +=
          Shown(input) + ": " + ReportSummaryLine(outcome.result, options_.formats.legacy) + "\n";
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
    if (input.targets.netcdf.wanted())
      report.netcdf = input.targets.netcdf.path;
    if (input.targets.tidy.wanted())
      report.tidy = input.targets.tidy.path;
    if (input.targets.wavesNetcdf.wanted())
      report.wavesNetcdf = input.targets.wavesNetcdf.path;
    report.warnings = outcome.warnings;
    report.netcdfReadingsOutOfOrder = outcome.netcdfReadingsOutOfOrder;
    report.trimmed = outcome.trimmed;
    report.qcCounts = outcome.qcCounts;
    report.qcTests = options_.science.qc.reading;
    report.trimDepth = options_.science.trimDepth;
    report.deployed = options_.science.deployed.has_value();
    report.recovered = options_.science.recovered.has_value();
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
    report.partials = outcome.partials;
    report.legacyWritten = options_.formats.legacy;
    report.look = outcome.look;
    report.result = outcome.converterRan ? &outcome.result : nullptr;
    report.timeZone = timeZone_;
    if (outcome.waves) {
      report.waves = InputReport::Waves{input.targets.waves.path, outcome.waves->segments,
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
    if (!outcome.partials.empty())
      return "no output was put in place";
    if (!named(input.to) && !named(input.targets.netcdf.path) && !named(input.targets.tidy.path))
      return "nothing was kept";
    return options_.append ? QuotedName(input.to) + " is as it was before" : "no output was made";
  }

  static std::string GaugeUnitsWarning() {
    ScienceSettings gauge;
    gauge.gauge = true;
    return UnitsWarning(gauge);
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
  std::set<std::string> warnedOnce_;
  const std::string unitsWarning_ = GaugeUnitsWarning();
  const std::string positionWarning_ = PositionWarning(ScienceSettings{});
  const std::string statisticNamesWarning_ = StatisticNamesWarning(kUnknownUnits);
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
    // A thread that cannot be started leaves its inputs to the others; with
    // none at all, they are converted here, one after the other.
    std::vector<std::unique_ptr<SizedThread>> workers;
    for (size_t i = 0; i < threads; ++i) {
      auto worker = std::make_unique<SizedThread>();
      if (!worker->Start([this] { Work(); }))
        break;
      workers.push_back(std::move(worker));
    }
    if (workers.empty())
      Work();
    ReportInOrder();
    workers.clear();  // joins them
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
  if (options.form == CliForm::Merge)
    return RunMerge(options, timeZone);

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
