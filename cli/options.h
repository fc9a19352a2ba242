// Command line of zorqconvert-cli:
//   zorqconvert-cli [OPTIONS] FROM TO
//   zorqconvert-cli [OPTIONS] -o DIR FROM...
//   zorqconvert-cli --check [OPTIONS] FROM...
//   zorqconvert-cli --merge NAME.nc [OPTIONS] DUMP...
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "outputs/formats.h"
#include "science/metadata.h"
#include "waves/wave_settings.h"

// How the inputs and outputs are named on the command line.
enum class CliForm {
  FromTo,     // FROM TO: one input, one output (either may be "-")
  OutputDir,  // -o DIR FROM...: DIR/<name>.csv for each FROM
  Check,      // --check FROM...: convert, keep nothing
  Merge,      // --merge NAME.nc DUMP...: a deployment's dumps into one NetCDF file
};

struct CliOptions {
  CliForm form = CliForm::FromTo;
  int fromType = 0;         // 1, 2 logger dumps; 3 gauge dump; 0 auto (from the header)
  int toType = -1;          // 0 logger CSV; 1 gauge CSV; -1 the one that fits the From type
  bool correction = false;  // --gain or --offset given
  double gain = 1.0;
  double offset = 0.0;
  bool append = false;
  bool lfLineEnds = false;  // --lf-line-ends: each LF of a dump read as CR LF
  bool overwrite = false;
  std::string outputDir;               // -o DIR
  std::string mergeTo;                 // --merge NAME.nc
  std::vector<std::string> fromPaths;  // every FROM, in command-line order
  std::string fromPath;                // the FROM of the FromTo form
  std::string toPath;                  // the TO of the FromTo form
  std::string timeZone;                // --tz ZONE, empty when not given
  int jobs = 1;
  FormatSet formats;  // --format: the legacy CSV alone unless given
  // The science outputs' settings: --units, --standard-name, --attr,
  // --deployment (read when the options are), --clock-offset, --clock-drift.
  ScienceSettings science;
  std::string deploymentPath;
  std::vector<Attribute> attributeOptions;  // --attr, after the deployment file's
  std::optional<Position> position;         // --position, over the deployment file's
  bool json = false;
  bool quiet = false;
  // --waves FILE: the wave statistics' CSV ("-" standard output; "auto" the
  // output's name with .waves.csv); empty when not asked for.
  std::string wavesTo;
  WaveSettings waves;  // --segment, --welch-segment, --band, --pressure and its settings
  // A call in the legacy form, the one the converter took before it knew
  // several inputs: FROM TO with both types and no option beyond the
  // correction and --append (the rows marked legacy in the option table). It
  // writes to standard error exactly what such a call always did.
  bool legacyCall = false;
};

// --waves auto: the statistics go beside the output, under its name with
// .waves.csv in place of its extension.
inline constexpr const char* kWavesBesideOutput = "auto";

// Each job is a thread with about 1 MB of buffers, and up to four threads
// more (read-ahead, write-behind, NetCDF, wave statistics), each with a
// stack of its own. This many, each writing NetCDF and wave statistics,
// run within `ulimit -v 2000000` with room to spare (192 still did, 256 no
// longer: HDF5 and the C++ library run out of memory, and HDF5 does not
// survive a failed allocation). Beyond it they would only wait for the
// disks and cores.
inline constexpr int kMaxJobs = 128;

enum class CliAction { Convert, ShowHelp, ShowVersion, UsageError };

// Reads the arguments into `options`. On UsageError, `error` says what is wrong.
CliAction ParseCommandLine(int argc, const char* const argv[], CliOptions* options,
                           std::string* error);

// The --help text, its option lines made from the option table; ends in a
// line feed.
std::string UsageText();

// The short reminder of the forms that follows a usage error.
const char* ShortUsageText();
