#include "cli/merge.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "cli/batch.h"
#include "cli/input_source.h"
#include "cli/json_report.h"
#include "cli/kinds.h"
#include "cli/progress.h"
#include "cli/signals.h"
#include "convert/dispatch.h"
#include "convert/report_text.h"
#include "convert/status.h"
#include "outputs/conversion_job.h"
#include "outputs/file_checks.h"
#include "outputs/formats.h"
#include "outputs/quoting.h"
#include "outputs/safe_output.h"
#include "outputs/wave_targets.h"
#include "science/dump_merge.h"
#include "science/time_base.h"

namespace {

constexpr int kExitUsage = 64;
// Conflicts told on standard error; the JSON report lists more.
constexpr size_t kConflictsTold = 10;

// One dump of the merge, as its header and first reading showed it.
struct MergeDump {
  std::string from;  // as given
  std::string full;  // its full path
  DumpLook look;
  KindChoice kinds;
  int64_t bytes = -1;
  dev_t device = 0;
  ino_t inode = 0;
  double firstTime = 0.0;  // instrument UTC of its first reading with a time
  bool converted = false;
  ConversionResult result;
  std::string sha256;
};

// Why the merge did not place its file, and the exit status it gets.
struct MergeFailure {
  std::string problem;
  int exitStatus = 0;
  uint8_t status = kStatusFinished;
  bool stopped = false;
};

std::string Shown(const std::string& from) {
  return ShownName(from);
}

std::string Sibling(const std::string& name, const char* extension) {
  std::filesystem::path path(name);
  path.replace_extension();
  return path.string() + extension;
}

JobTargets MergeTargets(const CliOptions& options) {
  JobTargets targets;
  targets.legacy = OutputTarget::Discard();
  targets.netcdf = OutputTarget::File(options.mergeTo);
  if (options.wavesTo == "-")
    targets.waves = OutputTarget::StandardOutput();
  else if (options.wavesTo == kWavesBesideOutput)
    targets.waves = OutputTarget::File(Sibling(options.mergeTo, kWavesExtension));
  else if (!options.wavesTo.empty())
    targets.waves = OutputTarget::File(options.wavesTo);
  targets.wavesNetcdf = WavesNetcdfBeside(targets.netcdf, targets.waves);
  return targets;
}

class Merger {
 public:
  Merger(const CliOptions& options, std::string timeZone)
      : options_(options),
        settings_(OutputSettingsOf(options)),
        timeZone_(std::move(timeZone)),
        targets_(MergeTargets(options)),
        progress_(ProgressWanted(options.quiet), ColourWanted(), options.fromPaths.size()) {}

  int Run() {
    MergeFailure failure;
    if (LookAtDumps(&failure) && OutputsAreNoDump(&failure))
      Convert(&failure);
    progress_.Finish();
    Report(failure);
    return failure.exitStatus;
  }

 private:
  // --- Before anything is written: each dump's kind and first time ---

  bool LookAtDumps(MergeFailure* failure) {
    for (const std::string& from : options_.fromPaths) {
      MergeDump dump;
      dump.from = from;
      if (!LookAt(&dump, failure))
        return false;
      dumps_.push_back(std::move(dump));
    }
    for (const MergeDump& dump : dumps_) {
      if (dump.kinds.fromType != dumps_.front().kinds.fromType) {
        return Fail(failure,
                    "the dumps of one deployment are of one kind: " + Shown(dumps_.front().from) +
                        " is a " + FromTypeInWords(dumps_.front().kinds.fromType) + ", " +
                        Shown(dump.from) + " a " + FromTypeInWords(dump.kinds.fromType),
                    kExitUsage, kStatusReady);
      }
    }
    std::stable_sort(dumps_.begin(), dumps_.end(), [](const MergeDump& a, const MergeDump& b) {
      return a.firstTime < b.firstTime;
    });
    return true;
  }

  static bool Fail(MergeFailure* failure, std::string problem, int exitStatus,
                   uint8_t status = kStatusFileError) {
    failure->problem = std::move(problem);
    failure->exitStatus = exitStatus;
    failure->status = status;
    return false;
  }

  bool LookAt(MergeDump* dump, MergeFailure* failure) {
    std::string problem;
    InputSource source;
    if (!FullPath(dump->from, &dump->full, &problem) || !source.Open(dump->full, &problem) ||
        !source.ReadHead(&problem))
      return Fail(failure, problem, kStatusFileError);
    dump->look = source.look();
    dump->bytes = source.size();
    dump->device = source.device();
    dump->inode = source.inode();
    dump->kinds = ChooseKinds(options_, source.look(), source.head(), QuotedName(dump->from));
    if (!dump->kinds.problem.empty())
      return Fail(failure, dump->kinds.problem, dump->kinds.exitStatus, dump->kinds.status);
    return FindFirstTime(dump, source, failure);
  }

  // The engine reads the dump's start until its first reading with a time,
  // and stops there.
  bool FindFirstTime(MergeDump* dump, InputSource& source, MergeFailure* failure) {
    FirstReadingTime first(options_.science.zone);
    DiscardSink discard;
    DispatchRequest request = Request(*dump, source, &discard);
    request.readings = &first;
    request.cancelRequested = [&first] { return first.found() || StopSignal() != 0; };
    DispatchConversion(request);
    source.Close();
    if (StopSignal() != 0) {
      failure->stopped = true;
      return false;
    }
    if (!first.found()) {
      return Fail(failure,
                  Shown(dump->from) +
                      " has no reading with a time, so it has no place in the deployment's series",
                  kStatusFileError);
    }
    dump->firstTime = first.time();
    return true;
  }

  DispatchRequest Request(const MergeDump& dump, InputSource& source, ByteSink* to) const {
    DispatchRequest request;
    request.from = &source.source();
    request.to = to;
    request.fromOpen = request.toOpen = true;
    request.fromType = dump.kinds.fromType;
    request.toType = dump.kinds.toType;
    request.correction = settings_.correction;
    request.lfLineEnds = options_.lfLineEnds;
    request.zone = options_.science.zone;
    return request;
  }

  // No output may be one of the dumps: it would be replaced as it is read.
  bool OutputsAreNoDump(MergeFailure* failure) {
    for (const OutputTarget* target : {&targets_.netcdf, &targets_.waves, &targets_.wavesNetcdf}) {
      struct stat output {};
      if (!target->named() || ::stat(target->path.c_str(), &output) != 0)
        continue;
      for (const MergeDump& dump : dumps_) {
        if (output.st_dev == dump.device && output.st_ino == dump.inode) {
          return Fail(failure,
                      QuotedName(target->path) + " is " + Shown(dump.from) +
                          ", a dump of the merge: give another name",
                      kStatusFileError);
        }
      }
    }
    return true;
  }

  // --- The conversion ---

  JobInput MergedInput() const {
    JobInput input;
    input.name = dumps_.front().from;
    input.device = dumps_.front().device;
    input.inode = dumps_.front().inode;
    input.bytes = 0;
    for (const MergeDump& dump : dumps_) {
      input.merged.push_back(dump.from);
      input.bytes = dump.bytes < 0 || input.bytes < 0 ? -1 : input.bytes + dump.bytes;
    }
    return input;
  }

  void Convert(MergeFailure* failure) {
    ConversionJob job(settings_, targets_, MergedInput());
    std::string problem;
    job.TakeHeader(dumps_.front().look);
    if (!job.Reserve(&problem) || !job.Start(dumps_.front().kinds.fromType, &problem)) {
      Fail(failure, problem, kStatusFileError);
      return;
    }
    DumpMerge merge(options_.science.zone, job.Listener());
    RunEnd end = RunEnd::Finished;
    for (size_t index = 0; index < dumps_.size() && end == RunEnd::Finished; ++index) {
      const double next =
          index + 1 < dumps_.size() ? dumps_[index + 1].firstTime : DumpMerge::kNoNextDump;
      end = ConvertDump(&dumps_[index], next, job, merge, failure);
    }
    if (end == RunEnd::Finished)
      merge.Finish();
    const ConversionResult result = MergedResult();
    const JobOutcome outcome =
        job.Finish(result, end, end == RunEnd::Finished, [] { return StopSignal() != 0; });
    TakeOutcome(outcome, merge, failure);
  }

  RunEnd ConvertDump(MergeDump* dump, double nextStart, ConversionJob& job, DumpMerge& merge,
                     MergeFailure* failure) {
    std::string problem;
    InputSource source;
    if (!source.Open(dump->full, &problem) || !source.ReadHead(&problem)) {
      Fail(failure, problem, kStatusFileError);
      return RunEnd::Failed;
    }
    job.BeginDump(dump->from);
    job.HearBytesOf(source.source());
    merge.StartDump(nextStart);
    DispatchRequest request = Request(*dump, source, job.LegacySink());
    request.readings = &merge;
    const std::string name = Shown(dump->from);
    request.progress = [this, &name](int64_t bytesRead, int64_t fromSize) {
      progress_.Update(name, bytesRead, fromSize);
    };
    request.cancelRequested = [&job] { return StopSignal() != 0 || job.failed(); };
    DispatchOutcome dispatched = DispatchConversion(request);
    const bool readWhole = source.Finish(&problem);
    source.Close();
    progress_.InputDone();
    dump->converted = dispatched.converterRan;
    dump->result = std::move(dispatched.result);
    dump->result.status = dispatched.status;
    if (job.failed() && StopSignal() == 0)
      return RunEnd::Failed;  // the job tells why
    if (dispatched.cancelled || StopSignal() != 0) {
      failure->stopped = true;
      return RunEnd::Stopped;
    }
    if (!readWhole) {
      Fail(failure, problem, kStatusFileError);
      return RunEnd::Failed;
    }
    if (dispatched.status != kStatusFinished) {
      const ConversionFailure& why = dump->result.report.failure;
      Fail(failure,
           Shown(dump->from) + (why.line > 0 ? ":" + std::to_string(why.line) : "") + ": " +
               (why.reason.empty() ? StatusMessage(dispatched.status) : why.reason),
           dispatched.status >= kStatusFileError && dispatched.status < kStatusFinished
               ? dispatched.status
               : kStatusFileError,
           dispatched.status);
      return RunEnd::Failed;
    }
    return RunEnd::Finished;
  }

  // What the merged file tells of the conversion: the first dump's header,
  // every dump's anomalies counted, and the status of the one that ended it.
  ConversionResult MergedResult() const {
    ConversionResult merged = dumps_.front().result;
    for (size_t index = 1; index < dumps_.size() && dumps_[index].converted; ++index) {
      const ConversionResult& result = dumps_[index].result;
      for (size_t kind = 0; kind < merged.report.anomalyCounts.size(); ++kind)
        merged.report.anomalyCounts[kind] += result.report.anomalyCounts[kind];
      merged.status = result.status;
      merged.report.failed = result.report.failed;
      merged.report.failure = result.report.failure;
    }
    return merged;
  }

  void TakeOutcome(const JobOutcome& outcome, const DumpMerge& merge, MergeFailure* failure) {
    partials_ = outcome.partials;
    warnings_ = outcome.warnings;
    counts_ = merge.counts();
    conflicts_ = merge.conflicts();
    for (size_t index = 0; index < outcome.sourceDigests.size() && index < dumps_.size(); ++index)
      dumps_[index].sha256 = outcome.sourceDigests[index];
    if (outcome.end == RunEnd::Stopped || outcome.readerGone)
      failure->stopped = true;
    if (failure->stopped) {
      const int signal = StopSignal() != 0 ? StopSignal() : SIGTERM;
      failure->exitStatus = ExitStatusForSignal(signal);
      return;
    }
    if (!outcome.problem.empty() && failure->problem.empty())
      Fail(failure, outcome.problem, kStatusWriteError, kStatusWriteError);
    if (!outcome.placed && failure->exitStatus == 0)
      Fail(failure, "the merge did not finish", kStatusFileError);
  }

  // --- Reports ---

  void Report(const MergeFailure& failure) {
    if (options_.json) {
      for (const MergeDump& dump : dumps_)
        std::printf("%s\n", JsonReportLine(DumpReport(dump)).c_str());
      std::printf("%s\n", MergeReportLine(ReportOf(failure)).c_str());
      std::fflush(stdout);
    }
    std::string text;
    for (const MergeDump& dump : dumps_) {
      if (dump.converted && !options_.quiet && !options_.json)
        text += Shown(dump.from) + ": " + ReportSummaryLine(dump.result, false) + "\n";
    }
    if (!failure.problem.empty())
      text += "zorqconvert-cli: " + failure.problem + "\n";
    for (const std::string& warning : options_.quiet ? std::vector<std::string>{} : warnings_)
      text += "zorqconvert-cli: " + QuotedName(options_.mergeTo) + ": " + warning + "\n";
    text += ConflictLines();
    for (const std::string& partial : partials_) {
      text += "zorqconvert-cli: " +
              QuotedName(partial.substr(0, partial.size() - std::strlen(kPartialSuffix))) +
              " was not made; what was written before the failure is kept as " +
              QuotedName(partial) + "\n";
    }
    if (failure.exitStatus == 0 && !options_.quiet && !options_.json)
      text += "zorqconvert-cli: merged " + std::to_string(dumps_.size()) + " dumps into " +
              QuotedName(options_.mergeTo) + ": " + GroupedCount(counts_.duplicates) +
              " readings given twice kept once, " + GroupedCount(counts_.conflicts) +
              " times with two values (the earlier dump's kept, flagged 3)\n";
    // A refusal of the options (exit 64) is the whole story: no status follows.
    const bool refused = failure.status == kStatusReady;
    if (!failure.stopped && !refused && !(options_.quiet && failure.exitStatus == 0))
      text += std::string(StatusMessage(failure.status)) + "\n";
    progress_.Print(text);
  }

  std::string ConflictLines() const {
    std::string text;
    for (size_t i = 0; i < conflicts_.size() && i < kConflictsTold; ++i) {
      const MergeConflict& conflict = conflicts_[i];
      text += "zorqconvert-cli: conflict at " + IsoUtcMilliseconds(conflict.time) + ": " +
              Shown(dumps_[static_cast<size_t>(conflict.keptDump)].from) + " gave " +
              Number(conflict.kept) + ", " +
              Shown(dumps_[static_cast<size_t>(conflict.droppedDump)].from) + " gave " +
              Number(conflict.dropped) + "; the first is kept, flagged 3\n";
    }
    if (counts_.conflicts > static_cast<int64_t>(kConflictsTold))
      text += "zorqconvert-cli: " + GroupedCount(counts_.conflicts) +
              " conflicts in all (--json lists the first " +
              std::to_string(DumpMerge::kConflictsKept) + ")\n";
    return text;
  }

  static std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
  }

  InputReport DumpReport(const MergeDump& dump) const {
    InputReport report;
    report.from = dump.from;
    report.netcdf = options_.mergeTo;
    report.legacyWritten = false;
    report.look = dump.look;
    report.timeZone = timeZone_;
    if (dump.kinds.fromType != 0)
      report.fromType = dump.kinds.fromType;
    if (dump.kinds.toType >= 0)
      report.toType = dump.kinds.toType;
    report.result = dump.converted ? &dump.result : nullptr;
    if (dump.converted) {
      report.status = dump.result.status;
      report.message = StatusMessage(dump.result.status);
      report.exitStatus = dump.result.status == kStatusFinished ? 0 : dump.result.status;
    } else {
      report.message = "not converted";
    }
    if (!dump.sha256.empty())
      report.sha256 = dump.sha256;
    return report;
  }

  MergeReport ReportOf(const MergeFailure& failure) const {
    MergeReport report;
    report.merge = options_.mergeTo;
    for (const MergeDump& dump : dumps_)
      report.dumps.push_back(dump.from);
    if (targets_.wavesNetcdf.wanted())
      report.wavesNetcdf = targets_.wavesNetcdf.path;
    if (!failure.stopped && failure.status != kStatusReady)
      report.status = failure.status;
    report.message = failure.stopped ? "stopped" : StatusMessage(failure.status);
    report.exitStatus = failure.exitStatus;
    report.cancelled = failure.stopped;
    report.problem = failure.problem;
    report.duplicates = counts_.duplicates;
    report.conflicts = counts_.conflicts;
    report.mostHeld = static_cast<int64_t>(counts_.mostHeld);
    for (const MergeConflict& conflict : conflicts_) {
      report.conflictList.push_back({IsoUtcMilliseconds(conflict.time), conflict.kept,
                                     conflict.dropped,
                                     dumps_[static_cast<size_t>(conflict.keptDump)].from,
                                     dumps_[static_cast<size_t>(conflict.droppedDump)].from});
    }
    report.warnings = warnings_;
    report.partials = partials_;
    return report;
  }

  const CliOptions& options_;
  const OutputSettings settings_;
  const std::string timeZone_;
  const JobTargets targets_;
  ProgressLine progress_;
  std::vector<MergeDump> dumps_;
  std::vector<std::string> partials_;
  std::vector<std::string> warnings_;
  MergeCounts counts_;
  std::vector<MergeConflict> conflicts_;
};

}  // namespace

int RunMerge(const CliOptions& options, const std::string& timeZone) {
  return Merger(options, timeZone).Run();
}
