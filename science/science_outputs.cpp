#include "science/science_outputs.h"

#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "convert/dump_types.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "science/station.h"

std::string UtcNowText() {
  return IsoUtcSeconds(static_cast<double>(std::time(nullptr)));
}

ScienceOutputs::ScienceOutputs(ScienceSettings settings)
    : settings_(std::move(settings)), tests_(settings_, &fanOut_) {}

ScienceOutputs::~ScienceOutputs() {
  Abandon();
}

bool ScienceOutputs::OpenNetcdf(const std::string& path, const std::string& shownName,
                                std::string* error) {
  netcdf_ = std::make_unique<NetcdfWriter>(settings_, &tests_);
  if (!netcdf_->Create(path, shownName, error)) {
    netcdf_.reset();
    return false;
  }
  fanOut_.Add(netcdf_.get());
  return true;
}

bool ScienceOutputs::OpenNetcdfIn(NetcdfStore* store, std::string* error) {
  netcdf_ = std::make_unique<NetcdfWriter>(settings_, &tests_);
  if (!netcdf_->CreateIn(store, error)) {
    netcdf_.reset();
    return false;
  }
  fanOut_.Add(netcdf_.get());
  return true;
}

bool ScienceOutputs::OpenTidy(ByteSink* sink, const std::string& shown, std::string* error) {
  tidy_ = std::make_unique<TidyWriter>(settings_, sink, shown, &tests_);
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

void ScienceOutputs::BeginSource(const std::string& name) {
  if (!sourceNames_.empty())
    sourceDigests_.push_back(digest_.Hex());  // ends the digest: the next starts afresh
  sourceNames_.push_back(name);
}

RunFacts ScienceOutputs::RunFactsOf(const ConversionResult& result) {
  if (dateCreated_.empty())
    dateCreated_ = UtcNowText();
  if (digestTaken_ && sourceSha256_.empty())
    sourceSha256_ = digest_.Hex();
  if (!sourceNames_.empty() && sourceDigests_.size() < sourceNames_.size())
    sourceDigests_.push_back(sourceSha256_);
  RunFacts run;
  for (size_t i = 0; i < sourceNames_.size(); ++i)
    run.sources.push_back({sourceNames_[i], sourceDigests_[i]});
  run.result = &result;
  run.dateCreated = dateCreated_;
  run.trimmed = trimmed_;
  run.sourceSha256 = digestTaken_ ? sourceSha256_ : "";
  return run;
}

bool ScienceOutputs::Finish(const ConversionResult& result, std::string* error) {
  const RunFacts run = RunFactsOf(result);
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
  if (const std::string name = StandardNameWarning(settings_); !name.empty())
    warnings.push_back(name);
  if (const std::string position = PositionWarning(settings_); netcdf_ && !position.empty())
    warnings.push_back(position);
  if (const std::string order = netcdf_ ? NotRisingWarning(netcdf_->facts()) : ""; !order.empty())
    warnings.push_back(order);
  if (const ReadingFacts* facts = Facts()) {
    if (const std::string unplaced = UnplacedWarning(*facts); !unplaced.empty())
      warnings.push_back(unplaced);
  }
  return warnings;
}

std::optional<int64_t> ScienceOutputs::NetcdfReadingsOutOfOrder() const {
  if (!netcdf_)
    return std::nullopt;
  return netcdf_->facts().notRising;
}
