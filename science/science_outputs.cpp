#include "science/science_outputs.h"

#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <sstream>

#include "convert/dump_types.h"
#include "convert/status.h"
#include "runtime/files.h"

namespace {

bool TakeFormat(const std::string& name, FormatSet* formats, std::string* error) {
  bool* slot = name == "legacy"   ? &formats->legacy
               : name == "netcdf" ? &formats->netcdf
               : name == "tidy"   ? &formats->tidy
                                  : nullptr;
  if (slot == nullptr) {
    *error = "--format takes legacy, netcdf and tidy, joined by commas; \"" + name +
             "\" is none of them";
    return false;
  }
  if (*slot) {
    *error = "--format names \"" + name + "\" twice";
    return false;
  }
  *slot = true;
  return true;
}

}  // namespace

bool ParseFormats(const std::string& text, FormatSet* formats, std::string* error) {
  FormatSet read;
  read.legacy = false;
  std::stringstream names(text);
  std::string name;
  bool any = false;
  while (std::getline(names, name, ',')) {
    if (!TakeFormat(name, &read, error))
      return false;
    any = true;
  }
  if (!any || text.back() == ',') {
    *error = "--format takes legacy, netcdf and tidy, joined by commas";
    return false;
  }
  *formats = read;
  return true;
}

std::string UtcNowText() {
  return IsoUtcSeconds(static_cast<double>(std::time(nullptr)));
}

ScienceOutputs::ScienceOutputs(ScienceSettings settings) : settings_(std::move(settings)) {}

ScienceOutputs::~ScienceOutputs() {
  Abandon();
}

bool ScienceOutputs::OpenNetcdf(const std::string& path, std::string* error) {
  netcdf_ = std::make_unique<NetcdfWriter>(settings_);
  if (!netcdf_->Create(path, error)) {
    netcdf_.reset();
    return false;
  }
  fanOut_.Add(netcdf_.get());
  return true;
}

bool ScienceOutputs::OpenTidy(ByteSink* sink, std::string* error) {
  tidy_ = std::make_unique<TidyWriter>(settings_, sink);
  if (!tidy_->Start(error)) {
    tidy_.reset();
    return false;
  }
  fanOut_.Add(tidy_.get());
  return true;
}

bool ScienceOutputs::failed() const {
  return (netcdf_ && netcdf_->failed()) || (tidy_ && tidy_->failed());
}

std::string ScienceOutputs::error() const {
  if (netcdf_ && netcdf_->failed())
    return netcdf_->error();
  if (tidy_ && tidy_->failed())
    return tidy_->error();
  return "";
}

const ReadingFacts* ScienceOutputs::Facts() const {
  if (netcdf_)
    return &netcdf_->facts();
  return tidy_ ? &tidy_->facts() : nullptr;
}

bool ScienceOutputs::Finish(const ConversionResult& result, std::string* error) {
  RunFacts run;
  run.result = &result;
  run.dateCreated = UtcNowText();
  if (digestTaken_)
    run.sourceSha256 = digest_.Hex();
  bool ok = true;
  if (tidy_ && !tidy_->Finish(error))
    ok = false;
  std::string netcdfError;
  if (netcdf_ && !netcdf_->Finish(run, &netcdfError)) {
    if (ok)
      *error = netcdfError;
    ok = false;
  }
  return ok;
}

void ScienceOutputs::Abandon() {
  if (netcdf_)
    netcdf_->Abandon();
  // The tidy writer hands its last bytes back to its sink now, while the
  // sink lives: the caller closes it next. No reading comes after this.
  fanOut_ = ReadingFanOut{};
  tidy_.reset();
}

std::vector<std::string> ScienceOutputs::Warnings() const {
  std::vector<std::string> warnings;
  if (const std::string units = UnitsWarning(settings_); !units.empty())
    warnings.push_back(units);
  if (const ReadingFacts* facts = Facts()) {
    if (const std::string unplaced = UnplacedWarning(*facts); !unplaced.empty())
      warnings.push_back(unplaced);
  }
  return warnings;
}

namespace {

// The handles of one export, closed whatever happens.
struct ExportFiles {
  int from = -1;
  int to = -1;
  int tidy = -1;
  ~ExportFiles() {
    for (const int handle : {from, to, tidy}) {
      if (handle > 0)
        CloseFile(handle);
    }
  }
};

void RemoveOutputs(const ExportRequest& request) {
  for (const std::string* path : {&request.netcdfPath, &request.tidyPath}) {
    if (!path->empty())
      ::unlink(path->c_str());
  }
}

ExportOutcome ExportOnce(const ExportRequest& request) {
  ExportOutcome outcome;
  ScienceSettings settings = request.settings;
  settings.gauge = IsGaugeDump(request.fromType);
  settings.fromType = request.fromType;
  settings.correction = request.correction;
  if (settings.sourceName.empty())
    settings.sourceName = std::filesystem::path(request.dumpPath).filename().string();
  std::error_code sizeUnknown;
  const std::uintmax_t dumpBytes = std::filesystem::file_size(request.dumpPath, sizeUnknown);
  if (!sizeUnknown)
    settings.dumpBytes = static_cast<int64_t>(dumpBytes);
  // The files outlive the outputs, whose tidy writer hands its last bytes
  // back to the tidy file's sink as it goes.
  ExportFiles files;
  ScienceOutputs outputs(settings);
  files.from = OpenFile(request.dumpPath.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  if (files.from < 0) {
    outcome.error = "cannot open \"" + request.dumpPath + "\": " + LastFileErrorText();
    return outcome;
  }
  files.to = OpenFile("/dev/null", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  if (!request.tidyPath.empty())
    files.tidy = OpenFile(request.tidyPath.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  if (files.to < 0 || (!request.tidyPath.empty() && files.tidy < 0)) {
    outcome.error = std::string("cannot open the outputs: ") + LastFileErrorText();
    return outcome;
  }
  if ((!request.netcdfPath.empty() && !outputs.OpenNetcdf(request.netcdfPath, &outcome.error)) ||
      (files.tidy > 0 && !outputs.OpenTidy(SinkOfHandle(files.tidy), &outcome.error)))
    return outcome;
  if (request.prepareNetcdf && outputs.netcdf() != nullptr)
    request.prepareNetcdf(outputs.netcdf());

  ConversionRequest conversion;
  conversion.fromType = request.fromType;
  conversion.toType = ToTypeForFromType(request.fromType);
  conversion.correction = request.correction;
  conversion.lfLineEnds = request.lfLineEnds;
  conversion.zone = settings.zone;
  conversion.from = SourceOfHandle(files.from);
  conversion.to = SinkOfHandle(files.to);
  conversion.progress = request.progress;
  conversion.cancelRequested = [&] {
    return outputs.failed() || (request.cancelRequested && request.cancelRequested());
  };
  conversion.readings = outputs.listener();
  SetReadTap(files.from, [&outputs](const char* bytes, size_t count) {
    outputs.digest().Update(bytes, count);
  });
  outcome.result = RunConversion(conversion);
  outputs.TakeDigest(outcome.result.status == kStatusFinished);
  outcome.cancelled = outcome.result.cancelled && !outputs.failed();
  if (outputs.failed()) {
    outcome.error = outputs.error();
    return outcome;
  }
  if (outcome.cancelled)
    return outcome;
  if (!outputs.Finish(outcome.result, &outcome.error))
    return outcome;
  outcome.warnings = outputs.Warnings();
  if (outcome.result.status != kStatusFinished) {
    outcome.error = StatusMessage(outcome.result.status);
    return outcome;
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace

ExportOutcome ExportDump(const ExportRequest& request) {
  ExportOutcome outcome = ExportOnce(request);
  if (!outcome.ok)
    RemoveOutputs(request);
  return outcome;
}
