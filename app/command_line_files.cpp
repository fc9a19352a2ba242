// The dump files a launcher hands the desktop program on its command line
// (the desktop entry's %F). The desktop program reads its arguments with
// its toolkit's parser (a shell hook); this plain reading is for a front
// end without one.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/shared_state.h"
#include "app/shell.h"
#include "app/shell_hooks.h"
#include "runtime/ui.h"

namespace {

// The full path of a file that exists and can be read, short enough for the
// panel; empty (with the reason in `error`) otherwise.
std::string ReadableFullPath(const std::string& given, std::string* error) {
  std::error_code failure;
  const std::filesystem::path full = std::filesystem::absolute(given, failure);
  if (failure || !std::filesystem::is_regular_file(full, failure)) {
    *error = "\"" + given + "\" is no file that can be opened";
    return std::string();
  }
  const std::string path = full.string();
  if (path.size() > static_cast<size_t>(kMaxPathLength)) {
    *error = "the full path of \"" + given + "\" is longer than " + std::to_string(kMaxPathLength) +
             " characters";
    return std::string();
  }
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (probe == nullptr) {
    *error = "\"" + given + "\" cannot be read";
    return std::string();
  }
  std::fclose(probe);
  return path;
}

}  // namespace

std::vector<std::string> DumpFilesGiven(int argc, char* argv[]) {
  std::vector<std::string> files;
  for (int index = 1; index < argc; ++index) {
    if (argv[index][0] != '-')
      files.emplace_back(argv[index]);
  }
  return files;
}

void OpenDumpGiven(const std::vector<std::string>& files) {
  if (files.empty())
    return;
  if (files.size() > 1) {
    std::fprintf(stderr,
                 "ZORQConvert: the panel converts one dump at a time; \"%s\" is opened as the "
                 "From file and the other files are left alone.\n",
                 files.front().c_str());
  }
  std::string error;
  const std::string path = ReadableFullPath(files.front(), &error);
  if (path.empty()) {
    std::fprintf(stderr, "ZORQConvert: %s; open the From file from the File menu.\n",
                 error.c_str());
    return;
  }
  OpenFromPath(GetPanelMenuBar(PanelHandle), path.c_str());
  if (FileFromOpen && CurrentShellHooks().givenDumpOpened)
    CurrentShellHooks().givenDumpOpened();
}
