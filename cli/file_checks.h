// File names as the file-selection popups hand them back: full paths that
// fit the layer's path buffer.
#pragma once

#include <string>

// The full path of `path`; false, with `error` saying why, when it cannot be
// made or is longer than the layer's path buffer.
bool FullPath(const std::string& path, std::string* full, std::string* error);
