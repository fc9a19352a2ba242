#include "desktop/export_run.h"

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "science/deployment.h"
#include "science/science_outputs.h"

namespace {

namespace fs = std::filesystem;

// Beside the final name, so that the rename stays on one file system.
std::string TemporaryPathFor(const std::string& path) {
  const fs::path final(path);
  return (final.parent_path() /
          ("." + final.filename().string() + ".part-" + std::to_string(::getpid())))
      .string();
}

bool PlaceOutputs(const std::vector<std::pair<std::string, std::string>>& moves,
                  std::string* error) {
  for (const auto& [from, to] : moves) {
    std::error_code failure;
    fs::rename(from, to, failure);
    if (failure) {
      *error = "The export could not be saved as \"" + to + "\": " + failure.message() +
               ". Choose a folder you may write to.";
      return false;
    }
  }
  return true;
}

void RemoveAll(const std::vector<std::pair<std::string, std::string>>& moves) {
  for (const auto& move : moves)
    ::unlink(move.first.c_str());
}

}  // namespace

std::string ExportPathFor(const std::string& dumpPath, const std::string& folder,
                          const char* extension) {
  const fs::path dump(dumpPath);
  const fs::path where = folder.empty() ? dump.parent_path() : fs::path(folder);
  return (where / (dump.stem().string() + extension)).string();
}

ExportResult RunExport(const ExportSource& source, const ExportForm& form,
                       const std::string& folder,
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
  ExportRequest request;
  request.dumpPath = source.dumpPath;
  request.fromType = source.fromType;
  request.correction = source.correction;
  request.lfLineEnds = source.lfLineEnds;
  request.settings.zone = source.zone;
  request.settings.units = form.units;
  request.settings.clock.offset = form.clockOffset;
  request.settings.clock.driftGiven = form.driftGiven;
  request.settings.clock.drift = form.clockDrift;
  request.settings.invocation = "zorqconvert File > Export";
  if (!form.deploymentFile.empty() &&
      !ReadDeploymentFile(form.deploymentFile, &request.settings, &result.error))
    return result;

  std::vector<std::pair<std::string, std::string>> moves;
  if (form.netcdf) {
    const std::string final = ExportPathFor(source.dumpPath, folder, kNetcdfExtension);
    request.netcdfPath = TemporaryPathFor(final);
    moves.emplace_back(request.netcdfPath, final);
  }
  if (form.tidy) {
    const std::string final = ExportPathFor(source.dumpPath, folder, kTidyExtension);
    request.tidyPath = TemporaryPathFor(final);
    moves.emplace_back(request.tidyPath, final);
  }
  request.progress = progress;
  request.cancelRequested = cancelRequested;

  const ExportOutcome outcome = ExportDump(request);
  result.cancelled = outcome.cancelled;
  result.warnings = outcome.warnings;
  if (!outcome.ok) {
    RemoveAll(moves);
    if (!outcome.cancelled)
      result.error = "The export failed: " + outcome.error;
    return result;
  }
  if (!PlaceOutputs(moves, &result.error)) {
    RemoveAll(moves);
    return result;
  }
  for (const auto& move : moves)
    result.written.push_back(move.second);
  result.ok = true;
  return result;
}
