#include "cli/file_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "runtime/ui.h"

namespace {

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

std::string Because(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// Opens and closes `path` with `flags`; a directory does not count as a file.
bool CanOpen(const std::string& path, int flags, std::string* error) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *error = Because("cannot open " + Quoted(path), errno);
    return false;
  }
  struct stat info {};
  const bool isDirectory = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  ::close(fd);
  if (isDirectory) {
    *error = "cannot open " + Quoted(path) + ": it is a folder";
    return false;
  }
  return true;
}

bool CheckExistingTo(const std::string& path, bool append, std::string* error) {
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) {
    // A link to nothing: writing through it would create a file elsewhere.
    *error = Because("cannot use " + Quoted(path), errno);
    return false;
  }
  if (S_ISDIR(target.st_mode)) {
    *error = "cannot open " + Quoted(path) + ": it is a folder";
    return false;
  }
  if (!append) {
    *error = "the To file " + Quoted(path) +
             " already exists; give --append to add to it (the file is left as it is)";
    return false;
  }
  return CanOpen(path, O_WRONLY, error);
}

// Creates a new, empty To file; refuses one that appeared meanwhile.
bool CreateTo(const std::string& path, std::string* error) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *error = Because("cannot create " + Quoted(path), errno);
    return false;
  }
  ::close(fd);
  return true;
}

}  // namespace

bool FullPath(const std::string& path, std::string* full, std::string* error) {
  std::error_code failure;
  const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
  if (failure) {
    *error = "cannot make a full path of " + Quoted(path) + ": " + failure.message();
    return false;
  }
  *full = absolute.string();
  if (full->size() > static_cast<size_t>(kMaxPathLength)) {
    *error = "the full path of " + Quoted(path) + " is longer than " +
             std::to_string(kMaxPathLength) + " characters";
    return false;
  }
  return true;
}

bool CheckFiles(const CliOptions& options, CheckedFiles* files, std::string* error) {
  if (!FullPath(options.fromPath, &files->fromPath, error) ||
      !FullPath(options.toPath, &files->toPath, error)) {
    return false;
  }
  if (!CanOpen(files->fromPath, O_RDONLY, error))
    return false;
  struct stat link {};
  if (::lstat(files->toPath.c_str(), &link) == 0) {
    files->toIsNew = false;
    return CheckExistingTo(files->toPath, options.append, error);
  }
  if (errno != ENOENT) {
    *error = Because("cannot use " + Quoted(files->toPath), errno);
    return false;
  }
  files->toIsNew = true;
  return CreateTo(files->toPath, error);
}
