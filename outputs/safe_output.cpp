#include "outputs/safe_output.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "outputs/quoting.h"
#include "runtime/system_calls.h"

namespace {

mode_t gUmask = 022;

std::string Because(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  return RetryInterrupted([=] { return FileSystem().open(path, flags, mode); });
}

std::string RandomSuffix() {
  unsigned char bytes[6] = {};
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    const unsigned long mixed = static_cast<unsigned long>(::getpid()) * 2654435761u ^
                                static_cast<unsigned long>(::time(nullptr));
    std::memcpy(bytes, &mixed, sizeof bytes < sizeof mixed ? sizeof bytes : sizeof mixed);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

// The longest name a folder entry may have on the file systems we meet.
constexpr size_t kLongestName = 255;

// The name of a hidden temporary beside the output: the output's own name
// in it, so that a left-over one says whose it was, unless that would make
// it longer than the output's name may be.
std::string TemporaryName(const std::string& folder, const std::string& name) {
  const std::string suffix = "." + RandomSuffix() + ".part";
  const std::string hidden =
      "." + (1 + name.size() + suffix.size() <= kLongestName ? name : "zorqconvert") + suffix;
  return folder + (folder == "/" ? "" : "/") + hidden;
}

void SyncFolder(const std::string& folder) {
  const int fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    FileSystem().close(fd);
  }
}

// Folders that outputs were put into, synced once at the end rather than
// once per output: a folder of a thousand outputs costs one sync, not a
// thousand.
std::mutex gPlacedMutex;
std::set<std::string> gPlacedFolders;

void NotePlacedIn(const std::string& folder) {
  std::lock_guard<std::mutex> lock(gPlacedMutex);
  gPlacedFolders.insert(folder);
}

// Links the unnamed file open as `fd` at `path`; EEXIST when `path` exists.
int LinkDescriptor(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
    return 0;
  if (errno != ENOENT)
    return errno;
  // No /proc here: AT_EMPTY_PATH does the same for a privileged process.
  return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Renames without replacing; EEXIST when `to` exists.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS)
    return errno;
  // A file system without RENAME_NOREPLACE: link refuses an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0)
    return errno;
  ::unlink(from.c_str());
  return 0;
}

bool LockedByAnother(int fd) {
  const int result = RetryInterrupted([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); });
  return result < 0 && errno == EWOULDBLOCK;
}

// A file this process may not write: no write permission for it, a file
// system mounted read-only, or, for root who may write anything, no write
// bit at all.
// Returns EACCES or EROFS for such a file (the advice differs), 0 else.
int ReadOnlyCause(const std::string& path, const struct stat& info) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
    return errno == EACCES || errno == EROFS ? errno : 0;
  return ::geteuid() == 0 && (info.st_mode & 0222) == 0 ? EACCES : 0;
}

std::string ReadOnlyText(const std::string& shown, int cause) {
  if (cause == EROFS)
    return "cannot replace " + QuotedName(shown) +
           ": the file system it is on is mounted read-only; write the output elsewhere";
  return "cannot replace " + QuotedName(shown) +
         ": it is read-only; make it writable first (chmod u+w) to replace it";
}

std::string LockedText(const std::string& path) {
  return "another converter is writing " + QuotedName(path) + "; it is left as it is";
}

}  // namespace

void SyncPlacedFolders() {
  std::lock_guard<std::mutex> lock(gPlacedMutex);
  for (const std::string& folder : gPlacedFolders)
    SyncFolder(folder);
  gPlacedFolders.clear();
}

void RememberUmask() {
  gUmask = ::umask(0);
  ::umask(gUmask);
}

SafeOutput::~SafeOutput() {
  if (!done_ && kind_ != Kind::Append)
    Abandon();
  Close();
}

// The sink goes first: none of its bytes may reach a descriptor after it
// is closed (its number may be another job's file by then).
void SafeOutput::Close() {
  if (sink_)
    sink_->DropWaiting();
  sink_.reset();
  if (fd_ >= 0)
    FileSystem().close(fd_);
  if (lockFd_ >= 0)
    FileSystem().close(lockFd_);
  fd_ = lockFd_ = -1;
}

bool SafeOutput::PrepareStream(int fd, int stopFd, std::string* error) {
  kind_ = Kind::Stream;
  if (fd < 0) {
    sink_ = std::make_unique<DiscardSink>();
    return true;
  }
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) {
    *error = Because("cannot write the output", errno);
    return false;
  }
  sink_ = std::make_unique<DescriptorSink>(copy, /*owned=*/true, stopFd);
  return true;
}

ByteSink* SafeOutput::Sink() {
  if (!sink_ && fd_ >= 0) {
    struct stat info {};
    const bool regular = FileSystem().fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    // A FIFO appended to may have a reader that stops reading.
    sink_ = std::make_unique<DescriptorSink>(fd_, /*owned=*/false, regular ? -1 : stopFd_);
    if (regular) {
      sink_->WriteBehindFrom(kWriteBehindFrom);
      // Off the conversion's thread once the sink writes behind: the
      // writeback calls may wait for the disk.
      sink_->OnHandedOn([this] { StartWriteback(); });
    }
  }
  return sink_.get();
}

// After the conversion: the last bytes handed on, and any write that
// failed on the way told.
bool SafeOutput::EndStream(std::string* error) {
  const bool flushed = !sink_ || (sink_->Flush() == 0 && sink_->error() == 0);
  if (!flushed) {
    *error = Because("cannot write standard output", sink_->error());
    return false;
  }
  return true;
}

bool SafeOutput::Prepare(const std::string& path, const std::string& shown,
                         const OutputPolicy& policy, dev_t fromDevice, ino_t fromInode,
                         std::string* error) {
  path_ = path;
  shown_ = shown;
  namedTemporary_ = policy.namedTemporary;
  stopFd_ = policy.stopFd;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0)
    return PrepareExisting(policy, fromDevice, fromInode, error);
  if (errno != ENOENT) {
    *error = Because("cannot use " + QuotedName(shown_), errno);
    return false;
  }
  kind_ = Kind::New;
  if (!CreateTemporary(FolderOf(path), NameOf(path), error))
    return false;
  // What a plain creation would have given, not the temporary's 0600.
  ::fchmod(fd_, 0666 & ~gUmask);
  return true;
}

bool SafeOutput::PrepareExisting(const OutputPolicy& policy, dev_t fromDevice, ino_t fromInode,
                                 std::string* error) {
  struct stat target {};
  if (::stat(path_.c_str(), &target) != 0) {
    // A link to nothing: writing through it would create a file elsewhere.
    *error = Because("cannot use " + QuotedName(shown_), errno);
    return false;
  }
  if (S_ISDIR(target.st_mode)) {
    *error = "cannot open " + QuotedName(shown_) + ": it is a folder";
    return false;
  }
  if (policy.append)
    return PrepareAppend(error);
  if (policy.overwrite)
    return PrepareReplace(fromDevice, fromInode, error);
  *error = policy.legacyWording
               ? "the To file " + QuotedName(shown_) +
                     " already exists; give --append to add to it (the file is left as it is)"
           : policy.appendAllowed
               ? "the output " + QuotedName(shown_) +
                     " already exists; give --append to add to it or --overwrite to replace it "
                     "(the file is left as it is)"
               : "the output " + QuotedName(shown_) +
                     " already exists; give --overwrite to replace it (the file is left as it is)";
  return false;
}

bool SafeOutput::PrepareAppend(std::string* error) {
  kind_ = Kind::Append;
  // O_NONBLOCK: a FIFO without a reader is refused rather than waited for.
  fd_ = OpenRetrying(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    *error = Because("cannot open " + QuotedName(shown_), errno);
    return false;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  struct stat info {};
  FileSystem().fstat(fd_, &info);
  if (S_ISREG(info.st_mode)) {
    // The lock lives on the open file, shared by this second descriptor,
    // so it holds until the run has cut back or finished.
    lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 3);
    if (lockFd_ < 0 || LockedByAnother(lockFd_)) {
      *error = LockedText(shown_);
      Close();
      return false;
    }
    lengthBefore_ = info.st_size;
  }
  return true;
}

bool SafeOutput::PrepareReplace(dev_t fromDevice, ino_t fromInode, std::string* error) {
  kind_ = Kind::Replace;
  std::error_code failure;
  const std::string real = std::filesystem::canonical(path_, failure).string();
  struct stat info {};
  if (failure || ::stat(real.c_str(), &info) != 0) {
    *error = "cannot use " + QuotedName(shown_) + ": " + failure.message();
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "cannot replace " + QuotedName(shown_) + ": it is not a plain file";
    return false;
  }
  if (info.st_dev == fromDevice && info.st_ino == fromInode) {
    *error = "the output " + QuotedName(shown_) + " is the dump itself; it is left as it is";
    return false;
  }
  if (const int cause = ReadOnlyCause(real, info); cause != 0) {
    *error = ReadOnlyText(shown_, cause);
    return false;
  }
  lockFd_ = OpenRetrying(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (lockFd_ < 0)
    lockFd_ = OpenRetrying(real.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (lockFd_ < 0) {
    *error = Because("cannot open " + QuotedName(shown_), errno);
    return false;
  }
  if (LockedByAnother(lockFd_)) {
    *error = LockedText(shown_);
    Close();
    return false;
  }
  path_ = real;  // a link is followed: the file it names is replaced
  if (!CreateTemporary(FolderOf(real), NameOf(real), error)) {
    Close();
    return false;
  }
  // As a plain rewrite of the file would leave it: its owner (which only
  // root may give away) and then its mode, which a change of owner can clear.
  if (::geteuid() == 0)
    static_cast<void>(::fchown(fd_, info.st_uid, info.st_gid));
  ::fchmod(fd_, info.st_mode & 07777);
  return true;
}

bool SafeOutput::CreateTemporary(const std::string& folder, const std::string& name,
                                 std::string* error) {
  // O_TMPFILE: a file with no name at all until it is linked, so a crash at
  // any moment leaves nothing behind.
  if (!namedTemporary_)
    fd_ = OpenRetrying(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd_ >= 0)
    return true;
  if (!namedTemporary_ && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    *error = CannotWriteIn(errno);
    return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = TemporaryName(folder, name);
    // O_EXCL and O_NOFOLLOW: no existing file or link is ever followed.
    fd_ =
        OpenRetrying(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      tempPath_ = candidate;
      return true;
    }
    if (errno != EEXIST)
      break;
  }
  *error = CannotWriteIn(errno);
  return false;
}

// The output is written beside its final name: a folder that cannot be
// written is the cause, even for a file that can.
std::string SafeOutput::CannotWriteIn(int error) const {
  const std::string what =
      (kind_ == Kind::Replace ? "cannot replace " : "cannot create ") + QuotedName(shown_);
  if (error != EACCES && error != EPERM && error != EROFS)
    return Because(what, error);
  return what + ": the folder " + QuotedName(ShownFolder()) + " cannot be written (" +
         std::strerror(error) + ")" +
         (kind_ == Kind::Replace
              ? ", and the new output is written beside the old one before it takes its place"
              : "");
}

// The folder of the output as the user named it ("." for a bare name).
std::string SafeOutput::ShownFolder() const {
  const size_t slash = shown_.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : shown_.substr(0, slash);
}

bool SafeOutput::KeepPartial(std::string* error) {
  struct stat info {};
  if (sink_)
    sink_->DropWaiting();  // a failed conversion's last buffer was flushed or is lost
  if (fd_ < 0 || FileSystem().fstat(fd_, &info) != 0 || info.st_size == 0) {
    Abandon();
    return false;
  }
  done_ = true;
  path_ += kPartialSuffix;
  shown_ += kPartialSuffix;
  const bool kept = RenameOver(error);
  if (kept)
    NotePlacedIn(FolderOf(path_));
  Close();
  return kept;
}

void SafeOutput::StartWriteback() {
  if (kind_ != Kind::New && kind_ != Kind::Replace)
    return;
  struct stat info {};
  if (FileSystem().fstat(fd_, &info) != 0)
    return;
  // Whole windows only: the page the conversion is still filling is never
  // put under writeback, where its next write would have to wait for it.
  const int64_t upTo = info.st_size / kWritebackWindow * kWritebackWindow;
  if (upTo <= writtenBack_)
    return;
  // Through the file layer's table, where the tests' faults reach it; a
  // failure only means the final sync waits longer.
  FileSystem().syncFileRange(fd_, writtenBack_, upTo - writtenBack_, SYNC_FILE_RANGE_WRITE);
  // Then waits for the window before those: the disk stays busy while the
  // conversion goes on, and the dirty pages stay a window or two instead of
  // growing until the kernel throttles every write.
  if (writtenBack_ >= kWritebackWindow)
    FileSystem().syncFileRange(
        fd_, writtenBack_ - kWritebackWindow, kWritebackWindow,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  writtenBack_ = upTo;
}

std::string SafeOutput::WritablePath() const {
  return tempPath_;
}

bool SafeOutput::Commit(std::string* error) {
  return Ready(error) && Place(error);
}

bool SafeOutput::Ready(std::string* error) {
  if (kind_ == Kind::Stream)
    return true;  // told by Place, once the other outputs are ready too
  if (sink_ && sink_->Flush() != 0) {
    *error = Because("cannot write the output " + QuotedName(shown_), sink_->error());
    Abandon();
    return false;
  }
  if (kind_ == Kind::Append)
    return true;
  if (::fsync(fd_) != 0) {
    *error = Because("cannot sync the output " + QuotedName(shown_) + " to disk", errno);
    Abandon();
    return false;
  }
  return true;
}

bool SafeOutput::Place(std::string* error) {
  done_ = true;
  if (kind_ == Kind::Stream)
    return EndStream(error);
  if (kind_ == Kind::Append) {
    Close();
    return true;
  }
  const bool placed = kind_ == Kind::New ? LinkNew(error) : RenameOver(error);
  if (placed) {
    NotePlacedIn(FolderOf(path_));
    placedNew_ = kind_ == Kind::New;
  }
  Close();
  return placed;
}

void SafeOutput::TakeBack() {
  if (placedNew_)
    ::unlink(path_.c_str());
  placedNew_ = false;
}

bool SafeOutput::LinkNew(std::string* error) {
  const int result =
      tempPath_.empty() ? LinkDescriptor(fd_, path_) : RenameNoReplace(tempPath_, path_);
  if (result == 0) {
    tempPath_.clear();
    return true;
  }
  if (!tempPath_.empty())
    ::unlink(tempPath_.c_str());
  tempPath_.clear();
  *error = result == EEXIST
               ? "the output " + QuotedName(shown_) +
                     " appeared while the conversion ran; it is left as it is and "
                     "this conversion's output is dropped"
               : Because("cannot put the output " + QuotedName(shown_) + " in place", result);
  return false;
}

bool SafeOutput::RenameOver(std::string* error) {
  if (tempPath_.empty()) {
    // An unnamed file cannot be renamed: give it a hidden name first.
    for (int attempt = 0; attempt < 100 && tempPath_.empty(); ++attempt) {
      const std::string candidate = TemporaryName(FolderOf(path_), NameOf(path_));
      const int result = LinkDescriptor(fd_, candidate);
      if (result == 0)
        tempPath_ = candidate;
      else if (result != EEXIST) {
        *error = Because("cannot put the output " + QuotedName(shown_) + " in place", result);
        return false;
      }
    }
  }
  if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    *error = Because("cannot put the output " + QuotedName(shown_) + " in place", errno);
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  tempPath_.clear();
  return true;
}

void SafeOutput::Abandon() {
  done_ = true;
  if (kind_ == Kind::Stream) {
    std::string ignored;
    EndStream(&ignored);
    return;
  }
  if (sink_)
    sink_->DropWaiting();
  if (kind_ == Kind::Append && fd_ >= 0) {
    struct stat info {};
    if (FileSystem().fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size > lengthBefore_)
      RetryInterrupted([this] { return FileSystem().ftruncate(fd_, lengthBefore_); });
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  Close();
}
