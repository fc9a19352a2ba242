#include "outputs/export_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "convert/status.h"
#include "outputs/conversion_job.h"
#include "runtime/byte_streams.h"
#include "science/deployment.h"
#include "science/units.h"

namespace {

namespace fs = std::filesystem;

// The dump, open for the one read of the export.
struct OpenedDump {
  int fd = -1;
  struct stat info {};
  ~OpenedDump() {
    if (fd >= 0)
      ::close(fd);
  }
};

bool ReadSettings(const ExportForm& form, OutputSettings* settings, std::string* error) {
  // Through udunits2, as --units is: no made-up unit reaches the files.
  if (std::string problem;
      !form.units.empty() && CheckUnit(form.units, &problem) != UnitCheck::kValid) {
    *error = "Units: " + problem + ". Give a unit such as m or dbar, or leave the field empty.";
    return false;
  }
  settings->science.units = form.units;
  settings->science.clock.offset = form.clockOffset;
  settings->science.clock.driftGiven = form.driftGiven;
  settings->science.clock.drift = form.clockDrift;
  settings->science.invocation = "zorqconvert File > Export";
  if (!form.deploymentFile.empty() &&
      !ReadDeploymentFile(form.deploymentFile, &settings->science, error))
    return false;
  // The form's record over the deployment file's.
  if (!form.barometerFile.empty())
    settings->science.barometerPath = form.barometerFile;
  return true;
}

RunEnd EndOf(const ConversionResult& result) {
  if (result.cancelled)
    return RunEnd::Stopped;
  return result.status == kStatusFinished ? RunEnd::Finished : RunEnd::Failed;
}

std::string Reason(const ConversionResult& result, const JobOutcome& outcome) {
  if (!outcome.problem.empty())
    return outcome.problem;
  std::string text = StatusMessage(result.status);
  const ConversionFailure& failure = result.report.failure;
  if (result.report.failed && !failure.reason.empty()) {
    text += " at line " + std::to_string(failure.line) + ": " + failure.reason;
  }
  return text;
}

}  // namespace

std::string ExportPathFor(const std::string& dumpPath, const std::string& folder,
                          const char* extension) {
  const fs::path dump(dumpPath);
  const fs::path where = folder.empty() ? dump.parent_path() : fs::path(folder);
  return (where / (dump.stem().string() + extension)).string();
}

std::vector<std::string> ExportPaths(const ExportSource& source, const ExportForm& form,
                                     const std::string& folder) {
  std::vector<std::string> paths;
  if (form.netcdf)
    paths.push_back(ExportPathFor(source.dumpPath, folder, kNetcdfExtension));
  if (form.tidy)
    paths.push_back(ExportPathFor(source.dumpPath, folder, kTidyExtension));
  return paths;
}

std::vector<std::string> ExistingExportPaths(const ExportSource& source, const ExportForm& form,
                                             const std::string& folder) {
  std::vector<std::string> existing;
  for (const std::string& path : ExportPaths(source, form, folder)) {
    std::error_code ignored;
    if (fs::exists(fs::symlink_status(path, ignored)))
      existing.push_back(path);
  }
  return existing;
}

ExportResult RunExport(const ExportSource& source, const ExportForm& form,
                       const std::string& folder, bool replace,
                       const std::function<void(int64_t done, int64_t total)>& progress,
                       const std::function<bool()>& cancelRequested) {
  ExportResult result;
  if (source.dumpPath.empty()) {
    result.error = "There is no conversion to export. Convert a dump first.";
    return result;
  }
  if (!form.netcdf && !form.tidy) {
    result.error = "Choose NetCDF, tidy CSV or both.";
    return result;
  }
  OutputSettings settings;
  settings.overwrite = replace;
  settings.correction = source.correction;
  settings.keepPartialsWhenStopped = false;  // a cancel asked for nothing to be kept
  std::optional<Zone> zone = form.zone.empty() ? source.zone : Zone::FromTzValue(form.zone);
  if (!zone) {
    result.error = "The time zone \"" + form.zone +
                   "\" is not known. Give a zone such as Europe/Berlin or UTC, or leave it "
                   "empty for the one the conversion used.";
    return result;
  }
  settings.science.zone = *zone;
  if (!ReadSettings(form, &settings, &result.error))
    return result;

  OpenedDump dump;
  dump.fd = ::open(source.dumpPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (dump.fd < 0 || ::fstat(dump.fd, &dump.info) != 0) {
    result.error = "The dump \"" + source.dumpPath + "\" cannot be read: " + std::strerror(errno);
    return result;
  }
  JobTargets targets;
  if (form.netcdf)
    targets.netcdf = OutputTarget::File(ExportPathFor(source.dumpPath, folder, kNetcdfExtension));
  if (form.tidy)
    targets.tidy = OutputTarget::File(ExportPathFor(source.dumpPath, folder, kTidyExtension));
  JobInput input;
  input.name = source.dumpPath;
  input.bytes = S_ISREG(dump.info.st_mode) ? dump.info.st_size : -1;
  input.device = dump.info.st_dev;
  input.inode = dump.info.st_ino;
  ConversionJob job(settings, targets, input);
  if (!job.Reserve(&result.error) || !job.Start(source.fromType, &result.error)) {
    result.error = "The export cannot start: " + result.error + ".";
    return result;
  }

  DescriptorSource from(dump.fd, /*owned=*/false);
  ConversionRequest conversion;
  conversion.fromType = source.fromType;
  conversion.toType = ToTypeForFromType(source.fromType);
  conversion.correction = source.correction;
  conversion.lfLineEnds = source.lfLineEnds;
  conversion.zone = *zone;
  conversion.from = &from;
  conversion.to = job.LegacySink();
  conversion.progress = progress;
  conversion.cancelRequested = [&] {
    return job.failed() || (cancelRequested && cancelRequested());
  };
  conversion.readings = job.Listener();
  job.HearBytesOf(from);
  const ConversionResult converted = RunConversion(conversion);
  const RunEnd end = EndOf(converted);
  const bool readWhole = from.error() == 0;
  from.Close();  // no buffer read ahead reaches the digest after this
  const JobOutcome outcome = job.Finish(converted, end, readWhole, cancelRequested);
  result.warnings = outcome.warnings;
  result.partials = outcome.partials;
  result.cancelled = outcome.end == RunEnd::Stopped && outcome.problem.empty();
  if (outcome.placed) {
    result.ok = true;
    // The flags the outputs' readings got, after trimming and the air
    // pressure.
    if (outcome.qcCounts)
      result.flags = TalliesOf(settings.science.qc.reading, *outcome.qcCounts);
    for (const OutputTarget* target : {&targets.netcdf, &targets.tidy}) {
      if (target->named())
        result.written.push_back(target->path);
    }
  } else if (!result.cancelled) {
    result.error = "The export failed: " + Reason(converted, outcome) + ".";
    if (!outcome.partials.empty())
      result.error += " What was written is kept as \"" + outcome.partials.front() + "\"" +
                      (outcome.partials.size() > 1 ? " and the others beside it" : "") + ".";
  }
  return result;
}
