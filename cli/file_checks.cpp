#include "cli/file_checks.h"

#include <filesystem>
#include <system_error>

#include "cli/quoting.h"
#include "runtime/ui.h"

namespace {}  // namespace

bool FullPath(const std::string& path, std::string* full, std::string* error) {
  std::error_code failure;
  const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
  if (failure) {
    *error = "cannot make a full path of " + QuotedName(path) + ": " + failure.message();
    return false;
  }
  *full = absolute.string();
  if (full->size() > static_cast<size_t>(kMaxPathLength)) {
    *error = "the full path of " + QuotedName(path) + " is longer than " +
             std::to_string(kMaxPathLength) + " characters";
    return false;
  }
  return true;
}
