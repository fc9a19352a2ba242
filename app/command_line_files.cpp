// The dump files a launcher hands the desktop program on its command line
// (the desktop entry's %F).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/shared_state.h"
#include "app/shell.h"
#include "runtime/ui.h"

namespace {

// Qt's own options that take a value: that value is no file name.
constexpr const char* kQtOptionsWithValue[] = {
    "-platform",      "-platformpluginpath",
    "-platformtheme", "-plugin",
    "-style",         "-stylesheet",
    "-session",       "-display",
    "-geometry",      "-title",
    "-name",          "-qwindowgeometry",
    "-qwindowtitle",  "-qwindowicon",
    "-qmljsdebugger",
};

bool TakesQtValue(const char* arg) {
  // Qt takes "--platform" for "-platform" too.
  const char* name = std::strncmp(arg, "--", 2) == 0 ? arg + 1 : arg;
  for (const char* option : kQtOptionsWithValue) {
    if (std::strcmp(name, option) == 0)
      return true;
  }
  return false;
}

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
    const char* arg = argv[index];
    if (arg[0] != '-') {
      files.emplace_back(arg);
    } else if (TakesQtValue(arg)) {
      ++index;
    }
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
}
