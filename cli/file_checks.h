// Checks, before anything is converted, that the From file can be read and
// the To file written, and turns both names into the full paths that the
// file-selection popups hand back.
#pragma once

#include <string>

#include "cli/options.h"

struct CheckedFiles {
  std::string fromPath;  // full path of an existing, readable file
  std::string toPath;    // full path
  bool toIsNew = false;  // TO did not exist and has just been created empty
};

// The full path of `path`, as the file-selection popups hand it back; false,
// with `error` saying why, when it cannot be made or is longer than the
// layer's path buffer.
bool FullPath(const std::string& path, std::string* full, std::string* error);

// True when both files can be used. A TO that does not exist is created
// empty; an existing TO is accepted only with --append and is not touched.
// On false, `error` says why and nothing has been created.
bool CheckFiles(const CliOptions& options, CheckedFiles* files, std::string* error);
