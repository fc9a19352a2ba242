#include "cli/science_targets.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/file_checks.h"
#include "cli/quoting.h"
#include "convert/dump_types.h"
#include "runtime/byte_streams.h"

namespace {

constexpr size_t kCopyBlock = 256 * 1024;

std::string Sibling(const std::string& name, const char* extension) {
  return std::filesystem::path(name).replace_extension(extension).string();
}

// A file of our own in $TMPDIR (or /tmp) for NetCDF to write by name; its
// name goes when the output is finished or dropped.
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

}  // namespace

ScienceNames ScienceNamesFor(const CliOptions& options, const std::string& legacyName) {
  ScienceNames names;
  names.netcdf = options.formats.netcdf;
  names.tidy = options.formats.tidy;
  if (options.form == CliForm::Check)
    return names;
  // FROM TO with one format: TO is that output's own name.
  const bool toIsTheOutput = options.form == CliForm::FromTo && options.formats.Count() == 1;
  if (names.netcdf)
    names.netcdfTo = toIsTheOutput ? legacyName : Sibling(legacyName, kNetcdfExtension);
  if (names.tidy)
    names.tidyTo = toIsTheOutput ? legacyName : Sibling(legacyName, kTidyExtension);
  return names;
}

ScienceTargets::ScienceTargets(const CliOptions& options, int fromType, const std::string& fromName,
                               int64_t fromBytes)
    : options_(options) {
  ScienceSettings settings = options.science;
  settings.dumpBytes = fromBytes;
  settings.gauge = IsGaugeDump(fromType);
  settings.fromType = fromType;
  settings.correction.on = options.correction;
  settings.correction.gain = options.gain;
  settings.correction.offset = options.offset;
  settings.sourceName = fromName == "-" ? "<stdin>" : std::filesystem::path(fromName).filename();
  outputs_ = std::make_unique<ScienceOutputs>(std::move(settings));
}

ScienceTargets::~ScienceTargets() {
  Abandon();
}

bool ScienceTargets::PrepareNamed(SafeOutput* output, const std::string& to, bool byName,
                                  dev_t fromDevice, ino_t fromInode, std::string* error) {
  std::string full;
  if (!FullPath(to, &full, error))
    return false;
  OutputPolicy policy;
  policy.overwrite = options_.overwrite;
  policy.namedTemporary = byName;
  return output->Prepare(full, to, policy, fromDevice, fromInode, error);
}

bool ScienceTargets::PrepareNetcdf(const std::string& to, dev_t fromDevice, ino_t fromInode,
                                   std::string* error) {
  netcdfOutput_ = std::make_unique<SafeOutput>();
  std::string path;
  if (to.empty() || to == "-") {
    netcdfToStandardOutput_ = to == "-";
    if (netcdfToStandardOutput_ && !netcdfOutput_->PrepareStream(STDOUT_FILENO, error))
      return false;
    netcdfScratch_ = ScratchFile(&netcdfScratchPath_, error);
    if (netcdfScratch_ < 0)
      return false;
    path = netcdfScratchPath_;
  } else {
    if (!PrepareNamed(netcdfOutput_.get(), to, true, fromDevice, fromInode, error))
      return false;
    path = netcdfOutput_->WritablePath();
  }
  // Messages name the file the user asked for, not the temporary written.
  const std::string shown = to.empty() ? path : to == "-" ? "<stdout>" : to;
  if (!outputs_->OpenNetcdf(path, shown, error))
    return false;
  // The disk starts writing the file as it grows, as the outputs written
  // through a sink do by themselves: HDF5 creates it with O_TRUNC, so on
  // ext4 its close pushed the whole file to the disk at the end of the run.
  outputs_->netcdf()->OnChunkWritten([output = netcdfOutput_.get()] { output->StartWriteback(); });
  return true;
}

bool ScienceTargets::PrepareTidy(const std::string& to, dev_t fromDevice, ino_t fromInode,
                                 std::string* error) {
  tidyOutput_ = std::make_unique<SafeOutput>();
  const bool ready = to.empty() ? tidyOutput_->PrepareStream(-1, error)
                     : to == "-"
                         ? tidyOutput_->PrepareStream(STDOUT_FILENO, error)
                         : PrepareNamed(tidyOutput_.get(), to, false, fromDevice, fromInode, error);
  return ready && outputs_->OpenTidy(tidyOutput_->Sink(), error);
}

bool ScienceTargets::Prepare(const ScienceNames& names, dev_t fromDevice, ino_t fromInode,
                             std::string* error) {
  const bool ready =
      (!names.netcdf || PrepareNetcdf(names.netcdfTo, fromDevice, fromInode, error)) &&
      (!names.tidy || PrepareTidy(names.tidyTo, fromDevice, fromInode, error));
  if (!ready)
    Abandon();
  return ready;
}

bool ScienceTargets::CopyNetcdfToStandardOutput(std::string* error) {
  ByteSink* sink = netcdfOutput_->Sink();
  DescriptorSource scratch(netcdfScratch_, /*owned=*/false);
  bool copied = sink != nullptr && scratch.Seek(0, SEEK_SET) == 0;
  std::unique_ptr<char[]> block(new char[kCopyBlock]);
  for (long got; copied && (got = scratch.Read(block.get(), kCopyBlock)) != 0;)
    copied = got > 0 && sink->Write(block.get(), got) == got;
  copied = copied && sink->Flush() == 0;
  if (!copied)
    *error = "cannot write the NetCDF output to standard output";
  return copied;
}

bool ScienceTargets::Finish(const ConversionResult& result, std::string* error) {
  bool ok = outputs_->Finish(result, error);
  if (ok && netcdfToStandardOutput_)
    ok = CopyNetcdfToStandardOutput(error);
  if (!ok) {
    Abandon();
    return false;
  }
  for (SafeOutput* output : {netcdfOutput_.get(), tidyOutput_.get()}) {
    if (output != nullptr && !output->Commit(error)) {
      Abandon();
      return false;
    }
  }
  DropScratch();
  return true;
}

void ScienceTargets::DropScratch() {
  if (netcdfScratch_ >= 0)
    ::close(netcdfScratch_);
  netcdfScratch_ = -1;
  if (!netcdfScratchPath_.empty())
    ::unlink(netcdfScratchPath_.c_str());
  netcdfScratchPath_.clear();
}

void ScienceTargets::Abandon() {
  outputs_->Abandon();
  for (SafeOutput* output : {netcdfOutput_.get(), tidyOutput_.get()}) {
    if (output != nullptr)
      output->Abandon();
  }
  DropScratch();
}
