#include "python/dump_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "convert/dispatch.h"
#include "convert/flash_line_reader.h"
#include "convert/status.h"
#include "runtime/byte_streams.h"

namespace {

// The dump, open for the one read of the run.
struct OpenedDump {
  std::unique_ptr<ByteSource> source;
  DescriptorSource* file = nullptr;  // when it is a file
  JobInput input;
};

bool OpenDump(const DumpInput& dump, OpenedDump* opened, std::string* problem) {
  opened->input.name = dump.path;
  if (dump.inMemory) {
    opened->input.bytes = static_cast<int64_t>(dump.bytes.size());
    opened->source = std::make_unique<MemorySource>(dump.bytes);
    return true;
  }
  const int fd = ::open(dump.path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    *problem = "cannot read \"" + dump.path + "\": " + std::strerror(errno);
    if (fd >= 0)
      ::close(fd);
    return false;
  }
  opened->input.bytes = S_ISREG(info.st_mode) ? info.st_size : -1;
  opened->input.device = info.st_dev;
  opened->input.inode = info.st_ino;
  auto file = std::make_unique<DescriptorSource>(fd);
  opened->file = file.get();
  opened->source = std::move(file);
  return true;
}

JobTargets TargetsOf(const DumpRunSettings& settings, MemoryStore* store) {
  JobTargets targets;
  if (!settings.legacyPath.empty())
    targets.legacy = OutputTarget::File(settings.legacyPath);
  if (settings.netcdf)
    targets.netcdfStore = store;
  if (settings.waves) {
    targets.waves = OutputTarget::Discard();
    // The statistics are a dataset of their own, as NAME.waves.nc is.
    if (!settings.netcdf)
      targets.wavesNetcdfStore = store;
  }
  return targets;
}

// How the engine's run ended, as the command line tells it.
RunEnd EndOf(const DispatchOutcome& dispatched, const ConversionJob& job, bool readWhole,
             const std::atomic<bool>& cancel) {
  if (job.failed() && !cancel.load())
    return RunEnd::Failed;
  if (dispatched.cancelled || cancel.load())
    return RunEnd::Stopped;
  if (!readWhole)
    return RunEnd::Failed;
  return dispatched.status == kStatusFinished ? RunEnd::Finished : RunEnd::Failed;
}

void Dispatch(OpenedDump& dump, const DumpRunSettings& settings, ConversionJob& job,
              const std::atomic<bool>& cancel, DumpRunResult* run) {
  DispatchRequest request;
  request.from = dump.source.get();
  request.to = job.LegacySink();
  request.fromOpen = request.toOpen = true;
  request.fromType = run->fromType;
  request.toType = run->toType;
  request.correction = settings.outputs.correction;
  request.cancelRequested = [&job, &cancel] { return cancel.load() || job.failed(); };
  request.readings = job.Listener();
  request.lfLineEnds = settings.lfLineEnds;
  request.zone = settings.outputs.science.zone;
  job.HearBytesOf(*dump.source);
  DispatchOutcome dispatched = DispatchConversion(request);
  const bool readWhole = dump.source->error() == 0;
  // No buffer read ahead reaches the job's digest after this.
  if (dump.file != nullptr)
    dump.file->Close();
  const RunEnd end = EndOf(dispatched, job, readWhole, cancel);
  run->status = dispatched.status;
  if (dispatched.status == kStatusFileError && dispatched.popupText != nullptr)
    run->problem = dispatched.popupText;
  if (!readWhole)
    run->problem = "cannot read \"" + dump.input.name +
                   "\" to its end: " + std::strerror(dump.source->error());
  run->result = std::move(dispatched.result);
  if (run->result.report.failed && run->result.report.look.lfLineEnds && !settings.lfLineEnds)
    run->result.report.failure.reason += " (lf_line_ends=True)";
  run->outcome = job.Finish(run->result, end, readWhole, [&cancel] { return cancel.load(); });
  run->cancelled = run->outcome.end == RunEnd::Stopped && !run->outcome.readerGone;
  if (!run->outcome.problem.empty() && run->problem.empty()) {
    run->problem = run->outcome.problem;
    if (run->status == kStatusFinished)
      run->status = kStatusWriteError;
  }
}

}  // namespace

std::optional<Zone> ZoneNamed(const std::string& name) {
  if (!name.empty())
    return Zone::FromTzValue(name);
  const char* fromEnvironment = std::getenv("TZ");
  if (fromEnvironment == nullptr)
    return Zone::System();
  return Zone::FromTzValue(fromEnvironment);
}

DumpRunResult RunDump(const DumpInput& dump, const DumpRunSettings& settings, MemoryStore* store,
                      const std::atomic<bool>& cancel) {
  DumpRunResult run;
  run.timeZone = settings.outputs.science.zone.name();
  OpenedDump opened;
  if (!OpenDump(dump, &opened, &run.problem)) {
    run.status = kStatusFileError;
    run.message = StatusMessage(run.status);
    return run;
  }
  const std::string_view head = opened.source->Head(FlashLineReader::kBlockSize);
  run.look = LookAtHeader(head.data(), static_cast<int>(head.size()));
  run.fromType = settings.fromType != 0 ? settings.fromType : FromTypeForLook(run.look);
  if (run.fromType == 0) {
    run.refused = true;
    run.problem = "cannot tell what \"" + dump.path + "\" is: " + DescribeDumpLook(run.look);
    if (const std::string why = DumpLookProblem(run.look); !why.empty())
      run.problem += "; " + why;
    return run;
  }
  run.toType = settings.toType >= 0 ? settings.toType : ToTypeForFromType(run.fromType);
  ConversionJob job(settings.outputs, TargetsOf(settings, store), opened.input);
  job.TakeHeader(run.look);
  if (!job.Reserve(&run.problem) || !job.Start(run.fromType, &run.problem)) {
    run.status = kStatusFileError;
    run.message = StatusMessage(run.status);
    return run;
  }
  Dispatch(opened, settings, job, cancel, &run);
  run.message = StatusMessage(run.status);
  return run;
}
