#include "outputs/file_checks.h"

#include <filesystem>
#include <system_error>

#include "outputs/quoting.h"

bool FullPath(const std::string& path, std::string* full, std::string* error) {
  std::error_code failure;
  const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
  if (failure) {
    *error = "cannot make a full path of " + QuotedName(path) + ": " + failure.message();
    return false;
  }
  *full = absolute.string();
  return true;
}
