// File names made full before they are used, so that messages and the
// same-file checks see where a file really is. There is no length limit of
// our own: the operating system says when a path is too long.
#pragma once

#include <string>

// The full path of `path`; false, with `error` saying why, when it cannot be
// made.
bool FullPath(const std::string& path, std::string* full, std::string* error);
