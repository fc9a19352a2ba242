#include "cli/input_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/quoting.h"
#include "cli/signals.h"
#include "convert/flash_line_reader.h"
#include "runtime/files.h"

namespace {

constexpr size_t kRelayChunk = 64 * 1024;

bool WaitFor(int fd, short events, int stopFd);

// Reads until `count` bytes, the end, or a failure (-1 with nothing read).
// A stop signal ends the wait, whichever thread it was delivered to.
ssize_t ReadAhead(int fd, char* buffer, size_t count, int* error) {
  size_t total = 0;
  while (total < count && WaitFor(fd, POLLIN, -1)) {
    const ssize_t got = ::read(fd, buffer + total, count - total);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    if (got < 0) {
      *error = errno;
      break;
    }
    if (got == 0)
      break;
    total += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(total);
}

// Waits until `fd` is ready for `events`; false when the relay is to stop
// (its stop pipe closed, or a stop signal arrived).
bool WaitFor(int fd, short events, int stopFd) {
  for (;;) {
    // poll skips the entries whose descriptor is negative.
    pollfd polls[3] = {{fd, events, 0}, {stopFd, POLLIN, 0}, {StopSignalFd(), POLLIN, 0}};
    const int ready = ::poll(polls, 3, -1);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready < 0 || polls[1].revents != 0 || polls[2].revents != 0)
      return false;
    if (polls[0].revents != 0)
      return true;
  }
}

bool WriteAll(int sink, const char* bytes, size_t count, int stopFd) {
  size_t done = 0;
  while (done < count) {
    if (!WaitFor(sink, POLLOUT, stopFd))
      return false;
    const ssize_t put = ::write(sink, bytes + done, count - done);
    if (put < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    if (put <= 0)
      return false;  // the conversion closed its end: it has read enough
    done += static_cast<size_t>(put);
  }
  return true;
}

// Standard input was closed when the program started: "-" has nothing to
// read, rather than the /dev/null that stands in its place.
bool gStandardInputClosed = false;

}  // namespace

void KeepStandardDescriptorsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    if (fd == 0)
      gStandardInputClosed = true;
    // The lowest free number: this very one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd)
      ::close(opened);
  }
}

InputSource::~InputSource() {
  std::string ignored;
  Finish(&ignored);
  if (fd_ >= 0)
    ::close(fd_);
}

bool InputSource::Open(const std::string& fullPath, std::string* error) {
  if (fullPath == "-" && gStandardInputClosed) {
    *error = "cannot read standard input: it is closed";
    return false;
  }
  if (fullPath == "-") {
    fd_ = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
  } else {
    // O_NONBLOCK: a named pipe opens without waiting for its writer; the
    // reads wait in poll, where a stop signal reaches them.
    do {
      fd_ = ::open(fullPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
  }
  const std::string shown = fullPath == "-" ? "standard input" : QuotedName(fullPath);
  shown_ = shown;
  if (fd_ < 0) {
    *error = "cannot open " + shown + ": " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
    *error = "cannot open " + shown + ": it is a folder";
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  device_ = info.st_dev;
  inode_ = info.st_ino;
  char block[FlashLineReader::kBlockSize];
  ssize_t length = 0;
  if (S_ISREG(info.st_mode)) {
    size_ = info.st_size;
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    length = ::pread(fd_, block, sizeof block, 0);
  } else {
    stream_ = true;
    int failure = 0;
    length = ReadAhead(fd_, block, sizeof block, &failure);
    readError_ = failure;
    ahead_.assign(block, static_cast<size_t>(length > 0 ? length : 0));
  }
  head_.assign(block, static_cast<size_t>(length > 0 ? length : 0));
  look_ = LookAtHeader(block, length > 0 ? static_cast<int>(length) : 0);
  return true;
}

int InputSource::OpenHandle() {
  if (!stream_) {
    const int handle = AdoptFileDescriptor(fd_, VAL_READ_ONLY);
    if (handle >= 0)
      fd_ = -1;  // the handle owns it now
    return handle;
  }
  int pipeFds[2];
  int stopFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    return -1;
  if (::pipe2(stopFds, O_CLOEXEC) != 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return -1;
  }
  ::fcntl(pipeFds[1], F_SETPIPE_SZ, 1024 * 1024);  // fewer waits between relay and reader
  const int handle = AdoptFileDescriptor(pipeFds[0], VAL_READ_ONLY);
  if (handle < 0) {
    for (int fd : {pipeFds[0], pipeFds[1], stopFds[0], stopFds[1]})
      ::close(fd);
    return -1;
  }
  stopRead_ = stopFds[0];
  stopWrite_ = stopFds[1];
  relay_ = std::thread([this, sink = pipeFds[1]] { Relay(sink); });
  return handle;
}

void InputSource::Relay(int sink) {
  if (WriteAll(sink, ahead_.data(), ahead_.size(), stopRead_) && readError_ == 0) {
    std::unique_ptr<char[]> chunk(new char[kRelayChunk]);
    while (WaitFor(fd_, POLLIN, stopRead_)) {
      const ssize_t got = ::read(fd_, chunk.get(), kRelayChunk);
      if (got < 0 && (errno == EINTR || errno == EAGAIN))
        continue;
      if (got < 0)
        readError_ = errno;
      if (got <= 0 || !WriteAll(sink, chunk.get(), static_cast<size_t>(got), stopRead_))
        break;
    }
  }
  ::close(sink);  // the conversion sees the end of its input
}

bool InputSource::Finish(std::string* error) {
  if (stopWrite_ >= 0) {
    ::close(stopWrite_);
    stopWrite_ = -1;
  }
  if (relay_.joinable())
    relay_.join();
  if (stopRead_ >= 0) {
    ::close(stopRead_);
    stopRead_ = -1;
  }
  if (readError_ != 0) {
    *error = shown_ + " could not be read: " + std::strerror(readError_);
    return false;
  }
  return true;
}
