#include "cli/input_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/signals.h"
#include "convert/flash_line_reader.h"
#include "outputs/quoting.h"
#include "runtime/system_calls.h"

namespace {

// Standard input was closed when the program started: "-" has nothing to
// read, rather than the /dev/null that stands in its place.
bool gStandardInputClosed = false;

int OpenForReading(const std::string& path) {
  // O_NONBLOCK: a named pipe opens without waiting for its writer; the
  // reads wait in poll, where a stop signal reaches them.
  return RetryInterrupted(
      [&path] { return FileSystem().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0); });
}

}  // namespace

void KeepStandardDescriptorsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    if (fd == 0)
      gStandardInputClosed = true;
    // The lowest free number: this very one.
    const int opened = FileSystem().open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    if (opened >= 0 && opened != fd)
      FileSystem().close(opened);
  }
}

bool InputSource::Open(const std::string& fullPath, std::string* error) {
  const bool standardInput = fullPath == "-";
  shown_ = standardInput ? "standard input" : QuotedName(fullPath);
  if (standardInput && gStandardInputClosed) {
    *error = "cannot read standard input: it is closed";
    return false;
  }
  const int fd = standardInput ? ::fcntl(0, F_DUPFD_CLOEXEC, 3) : OpenForReading(fullPath);
  if (fd < 0) {
    *error = "cannot open " + shown_ + ": " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (RetryInterrupted([&] { return FileSystem().fstat(fd, &info); }) != 0 ||
      S_ISDIR(info.st_mode)) {
    *error = "cannot open " + shown_ + ": it is a folder";
    FileSystem().close(fd);
    return false;
  }
  if (S_ISREG(info.st_mode))
    size_ = info.st_size;
  if (S_ISREG(info.st_mode) && !standardInput)
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  device_ = info.st_dev;
  inode_ = info.st_ino;
  source_ = std::make_unique<DescriptorSource>(fd, true, StopSignalFd());
  return true;
}

bool InputSource::ReadHead(std::string* error) {
  head_ = source_->Head(FlashLineReader::kBlockSize);
  // A first read that failed is no empty or short dump: say why it failed.
  // A stop signal (ECANCELED) is told as the stop it is.
  if (const int failure = source_->error(); failure != 0 && failure != ECANCELED) {
    *error = "cannot read " + shown_ + ": " + std::strerror(failure);
    source_.reset();
    return false;
  }
  look_ = LookAtHeader(head_.data(), static_cast<int>(head_.size()));
  return true;
}

bool InputSource::Finish(std::string* error) const {
  const int failure = source_ ? source_->error() : 0;
  if (failure == 0 || failure == ECANCELED)
    return true;
  *error = shown_ + " could not be read: " + std::strerror(failure);
  return false;
}

void InputSource::Close() {
  if (source_)
    source_->Close();
}
