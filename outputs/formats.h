// The formats a run writes (--format) and the names they take beside the
// legacy CSV's.
#pragma once

#include <string>

// The outputs of --format, in the order they are named in.
struct FormatSet {
  bool legacy = true;
  bool netcdf = false;
  bool tidy = false;

  int Count() const { return (legacy ? 1 : 0) + (netcdf ? 1 : 0) + (tidy ? 1 : 0); }
  bool Science() const { return netcdf || tidy; }
};

// "legacy", "netcdf", "tidy" or several joined by commas. False with
// `error` for an unknown or repeated name.
bool ParseFormats(const std::string& text, FormatSet* formats, std::string* error);

// The names the outputs take beside the legacy CSV's, in -o mode and when
// several formats share one TO: the CSV's name with its extension replaced.
inline constexpr const char* kNetcdfExtension = ".nc";
inline constexpr const char* kTidyExtension = ".tidy.csv";
