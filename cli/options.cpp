#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "cli/time_zone.h"
#include "convert/dump_types.h"
#include "outputs/barometer_units.h"
#include "outputs/reading_depth.h"
#include "runtime/numbers.h"
#include "science/barometer.h"
#include "science/deployment.h"
#include "science/standard_names.h"
#include "science/units.h"

namespace {

constexpr const char* kUsageHead =
    "Usage: zorqconvert-cli --from-type N --to-type N [OPTIONS] FROM TO\n"
    "       zorqconvert-cli [OPTIONS] -o DIR FROM...\n"
    "       zorqconvert-cli --check [OPTIONS] FROM...\n"
    "       zorqconvert-cli --merge NAME.nc [OPTIONS] DUMP...\n"
    "\n"
    "Converts the flash dump FROM into TO; with -o, each FROM into\n"
    "DIR/<its name without the last extension>.csv; with --check, converts and\n"
    "keeps nothing; with --merge, the dumps of one deployment into one NetCDF\n"
    "file. FROM \"-\" reads standard input (one input only), TO \"-\"\n"
    "writes standard output.\n"
    "\n";

// Wrapped as the option lines are.
constexpr const char* kUsageTail =
    "Exit status: 0 Finished All; 1 a file cannot be used, FROM and TO are the same file, "
    "FROM could not be read, or the JSON report could not be written; 2 to 7 the "
    "conversion's status code (2 also for an input that is not a dump this program knows); "
    "64 usage error (a time zone that does not exist too), or a header that fits both logger "
    "types; 129, 130, 143 stopped by SIGHUP, SIGINT, SIGTERM; 141 the reader of standard "
    "output went away (nothing more is said). Each input converts whatever the others do; "
    "with several, the status is that of the first in command-line order that did not end "
    "Finished All. A conversion that fails leaves nothing under its output's name: what it "
    "wrote is kept as NAME.partial. Records and bytes written count what the file or pipe "
    "took: when it stops taking bytes within a record (a full disk), standard error and the "
    "JSON report's torn_record_bytes say how much of that record went out. After a signal, "
    "standard error says how much had gone to standard output.";

constexpr const char* kShortUsage =
    "Usage: zorqconvert-cli [OPTIONS] FROM TO\n"
    "       zorqconvert-cli [OPTIONS] -o DIR FROM...\n"
    "       zorqconvert-cli --check [OPTIONS] FROM...\n"
    "       zorqconvert-cli --merge NAME.nc [OPTIONS] DUMP...\n"
    "Try 'zorqconvert-cli --help' for more.\n";

constexpr double kShortestSegmentSeconds = 1.0;
constexpr double kLongestSegmentSeconds = 24.0 * 3600.0;  // a day
// Ten years of 365.25 days: a clock further off than this is a typing
// error, and the times it gave would leave the calendar's range.
constexpr double kLargestClockCorrectionSeconds = 10.0 * 365.25 * 24.0 * 3600.0;
constexpr int kShortestWelchWindow = 8;

constexpr size_t kHelpColumn = 20;  // where an option's help text starts
constexpr size_t kHelpWidth = 79;   // the longest line of --help

// A whole argument of one to nine decimal digits, so that its value fits.
bool ParseWhole(std::string_view text, int* value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), IsDigit))
    return false;
  *value = 0;
  for (char c : text)
    *value = *value * 10 + (c - '0');
  return true;
}

// A whole argument whose value is one of `allowed`.
bool ParseChoice(std::string_view text, std::initializer_list<int> allowed, int* value) {
  int parsed = 0;
  if (!ParseWhole(text, &parsed) ||
      std::find(allowed.begin(), allowed.end(), parsed) == allowed.end())
    return false;
  *value = parsed;
  return true;
}

// A whole argument that is one finite decimal number (no blanks, hex, inf or nan).
bool ParseNumber(std::string_view text, double* value) {
  if (text.empty() || IsSpace(text.front()))
    return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (DecimalExtent(begin, end) != text.size())
    return false;
  const double parsed = ReadDecimal(begin, end);
  if (!std::isfinite(parsed))
    return false;
  *value = parsed;
  return true;
}

std::string Shown(std::string_view value) {
  return "\"" + std::string(value) + "\"";
}

// --clock-offset and --clock-drift: seconds, at most ten years either way.
std::string ParseClockCorrection(const char* option, std::string_view value, double* seconds) {
  if (!ParseNumber(value, seconds))
    return std::string(option) + " needs a finite decimal number of seconds, not " + Shown(value);
  if (std::fabs(*seconds) > kLargestClockCorrectionSeconds)
    return std::string(option) + " " + std::string(value) +
           " is beyond ten years: give seconds from -315576000 to 315576000";
  return "";
}

// Takes an option's value (empty for a flag) into the options; returns what
// is wrong with the value, empty when it was taken.
using TakeValue = std::string (*)(std::string_view value, CliOptions& options);

struct OptionRow {
  const char* name;       // the long name, without "--"
  char shortName;         // 0 when it has none
  const char* valueName;  // nullptr for an option that takes no value
  const char* help;       // one sentence for --help, wrapped there
  TakeValue take;         // nullptr for --help and --version
  CliAction action;       // what giving it asks for beyond taking its value
  bool legacy;            // part of the call the converter always took (FROM TO with types)
};

// Every option, in the order --help shows them. Adding an option is adding
// a row here (and its field in CliOptions).
const OptionRow kOptions[] = {
    {"from-type", 0, "N",
     "kind of dump: 1 or 2 logger dump, 3 gauge dump, or auto (the default): the kind the "
     "header shows",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (value == "auto") {
         options.fromType = TypeNumber(FromType::kNone);
         return "";
       }
       if (!ParseChoice(value, {1, 2, 3}, &options.fromType))
         return "--from-type must be 1, 2, 3 or auto, not " + Shown(value);
       return "";
     },
     CliAction::Convert, true},
    {"to-type", 0, "N",
     "kind of output: 0 logger CSV (From types 1, 2), 1 gauge CSV (type 3); by default the "
     "one that fits the From type",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (!ParseChoice(value, {0, 1}, &options.toType))
         return "--to-type must be 0 or 1, not " + Shown(value);
       return "";
     },
     CliAction::Convert, true},
    {"gain", 0, "M", "switch the linear correction on with gain M (default 1.0)",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (!ParseNumber(value, &options.gain))
         return "--gain needs a finite decimal number, not " + Shown(value);
       options.correction = true;
       return "";
     },
     CliAction::Convert, true},
    {"offset", 0, "B",
     "switch the linear correction on with offset B (default 0.0); the correction applies to "
     "From types 1 and 2 only",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (!ParseNumber(value, &options.offset))
         return "--offset needs a finite decimal number, not " + Shown(value);
       options.correction = true;
       return "";
     },
     CliAction::Convert, true},
    {"tz", 0, "ZONE",
     "read the logger's date stamps as local times of ZONE, a zone of /usr/share/zoneinfo "
     "such as UTC or Europe/Berlin (default: $TZ, else the system's zone; a $TZ that names no "
     "zone is a usage error too)",
     [](std::string_view value, CliOptions& options) -> std::string {
       const std::string zone(value);
       if (!TimeZoneExists(zone))
         return "--tz " + Shown(value) + " is not a time zone of /usr/share/zoneinfo";
       options.timeZone = zone;
       return "";
     },
     CliAction::Convert, false},
    {"output-dir", 'o', "DIR",
     "write each FROM's output into DIR, made with its parents when missing (a missing DIR "
     "named like an output file, such as result.csv, is refused)",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (value.empty())
         return "-o needs a folder name";
       options.outputDir = value;
       return "";
     },
     CliAction::Convert, false},
    {"check", 0, nullptr, "convert and throw the output away; nothing is written",
     [](std::string_view, CliOptions& options) -> std::string {
       options.form = CliForm::Check;
       return "";
     },
     CliAction::Convert, false},
    {"merge", 0, "NAME.nc",
     "the DUMPs of one deployment, in the order of their first times, into the one NetCDF "
     "file NAME.nc (and one set of statistics with --waves): a reading two dumps give is kept "
     "once; the same time with another value keeps the earlier dump's, flagged 3",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (value.empty())
         return "--merge needs the name of the NetCDF file to write";
       options.form = CliForm::Merge;
       options.mergeTo = value;
       return "";
     },
     CliAction::Convert, false},
    {"append", 0, nullptr,
     "append to an output that exists (otherwise it is refused); after a failure it keeps "
     "the records written before it",
     [](std::string_view, CliOptions& options) -> std::string {
       options.append = true;
       return "";
     },
     CliAction::Convert, true},
    {"overwrite", 0, nullptr,
     "replace an output that exists, keeping its mode (and its owner when run as root); a "
     "read-only one is refused",
     [](std::string_view, CliOptions& options) -> std::string {
       options.overwrite = true;
       return "";
     },
     CliAction::Convert, false},
    {"lf-line-ends", 0, nullptr,
     "read each LF of a dump as CR LF: for dumps whose CRs a transfer in text mode or a Unix "
     "tool took out (a dump with CR LF converts as always)",
     [](std::string_view, CliOptions& options) -> std::string {
       options.lfLineEnds = true;
       return "";
     },
     CliAction::Convert, false},
    {"jobs", 0, "N", "run up to N conversions at once (default 1, at most 128)",
     [](std::string_view value, CliOptions& options) -> std::string {
       int jobs = 0;
       if (!ParseWhole(value, &jobs) || jobs < 1 || jobs > kMaxJobs)
         return "--jobs must be a whole number from 1 to " + std::to_string(kMaxJobs) + ", not " +
                Shown(value);
       options.jobs = jobs;
       return "";
     },
     CliAction::Convert, false},
    {"format", 0, "LIST",
     "outputs to write, joined by commas: legacy (the fixed-format CSV, the default), netcdf "
     "(NetCDF-4 with CF and ACDD metadata) and tidy (a CSV of time,reading,temperature,flag); "
     "beside a CSV named NAME.csv they are NAME.nc and NAME.tidy.csv",
     [](std::string_view value, CliOptions& options) -> std::string {
       std::string error;
       return ParseFormats(std::string(value), &options.formats, &error) ? "" : error;
     },
     CliAction::Convert, false},
    {"units", 0, "UNITS",
     "units of the readings in the NetCDF output (default m for logger dumps; a gauge dump's "
     "readings get \"1\" and a warning)",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (value.empty())
         return "--units needs a unit, such as m or dbar";
       if (std::string problem; CheckUnit(std::string(value), &problem) != UnitCheck::kValid)
         return "--units: " + problem;
       options.science.units = value;
       return "";
     },
     CliAction::Convert, false},
    {"standard-name", 0, "NAME", "the CF standard name of the readings in the NetCDF output",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (!IsNetcdfName(std::string(value)))
         return "--standard-name needs a CF standard name, such as "
                "sea_surface_height_above_sea_level, not " +
                Shown(value);
       if (!FindStandardName(std::string(value)))
         return StandardNameProblem("--standard-name", std::string(value), "");
       options.science.standardName = value;
       return "";
     },
     CliAction::Convert, false},
    {"attr", 0, "KEY=VALUE",
     "a global attribute of the NetCDF output, replacing ours of that name; give it once per "
     "attribute. KEY begins with a letter (names beginning with _ are the NetCDF library's) and "
     "has at most 256 characters",
     [](std::string_view value, CliOptions& options) -> std::string {
       Attribute attribute;
       std::string error;
       if (!ParseAttributeOption(std::string(value), &attribute, &error))
         return error;
       options.attributeOptions.push_back(attribute);
       return "";
     },
     CliAction::Convert, false},
    {"deployment", 0, "FILE",
     "a JSON file of the deployment for the NetCDF output: title, site, instrument_serial, "
     "latitude, longitude, water_depth, sensor_height, creator; qc (the QARTOD tests' "
     "thresholds), deployed and recovered (UTC times in ISO 8601: the readings before and after "
     "are left out) and trim_depth (as --trim-depth), see docs/qc.md; other keys become "
     "attributes, but not those the converter works out (history, source, ...)",
     [](std::string_view value, CliOptions& options) -> std::string {
       std::string error;
       if (!ReadDeploymentFile(std::string(value), &options.science, &error))
         return error;
       options.deploymentPath = value;
       return "";
     },
     CliAction::Convert, false},
    {"trim-depth", 0, "M",
     "a pressure dump's leading and trailing readings shallower than M metres are left out of "
     "the science outputs and the statistics (the legacy CSV keeps them); depth as --pressure, "
     "--atmospheric and --density give it, else from the readings' --units; the deployment "
     "file's trim_depth does the same",
     [](std::string_view value, CliOptions& options) -> std::string {
       double metres = 0.0;
       if (!ParseNumber(value, &metres) || !(metres > 0.0))
         return "--trim-depth needs a positive number of metres, not " + Shown(value);
       options.science.trimDepth = metres;
       return "";
     },
     CliAction::Convert, false},
    {"position", 0, "LAT,LON",
     "where the instrument stood, in decimal degrees north and east, for the NetCDF output's "
     "station (replaces the deployment file's latitude and longitude)",
     [](std::string_view value, CliOptions& options) -> std::string {
       Position position;
       std::string error;
       if (!ParsePositionOption(std::string(value), &position, &error))
         return error;
       options.position = position;
       return "";
     },
     CliAction::Convert, false},
    {"clock-offset", 0, "SECONDS",
     "the instrument clock minus true time at the first reading; subtracted from the times of "
     "the NetCDF and tidy outputs (the legacy CSV is never shifted); at most ten years "
     "(315576000) either way",
     [](std::string_view value, CliOptions& options) -> std::string {
       return ParseClockCorrection("--clock-offset", value, &options.science.clock.offset);
     },
     CliAction::Convert, false},
    {"clock-drift", 0, "SECONDS",
     "the instrument clock minus true time at the last reading; the correction runs linearly "
     "from the offset to this over elapsed time",
     [](std::string_view value, CliOptions& options) -> std::string {
       options.science.clock.driftGiven = true;
       return ParseClockCorrection("--clock-drift", value, &options.science.clock.drift);
     },
     CliAction::Convert, false},
    {"json", 0, nullptr,
     "one JSON report per input on standard output, one a line; a report that cannot be "
     "written fails the call",
     [](std::string_view, CliOptions& options) -> std::string {
       options.json = true;
       return "";
     },
     CliAction::Convert, false},
    {"quiet", 0, nullptr,
     "no progress, no summaries and no status line for an input that ends Finished All; "
     "failures are still told",
     [](std::string_view, CliOptions& options) -> std::string {
       options.quiet = true;
       return "";
     },
     CliAction::Convert, false},
    {"waves", 0, "FILE",
     "write the wave statistics of every burst (gauge dumps) or segment (logger dumps) to FILE "
     "as CSV: Hm0, Tp, mean periods, zero-crossing heights; \"-\" is standard output; auto "
     "(what -o needs) the output's name with .waves.csv; see docs/waves.md",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (value.empty())
         return "--waves needs a file name";
       options.wavesTo = value;
       return "";
     },
     CliAction::Convert, false},
    {"segment", 0, "SECONDS",
     "cut a logger dump's series for --waves every SECONDS, 1 to 86400 (default 1200)",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (!ParseNumber(value, &options.waves.segmentSeconds) ||
           !(options.waves.segmentSeconds >= kShortestSegmentSeconds) ||
           options.waves.segmentSeconds > kLongestSegmentSeconds)
         return "--segment needs a number of seconds from 1 to 86400 (a day), not " + Shown(value);
       return "";
     },
     CliAction::Convert, false},
    {"welch-segment", 0, "N",
     "readings per Welch window for --waves (default: the largest power of two not above a "
     "segment's length / 8, and at least 64)",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (!ParseWhole(value, &options.waves.welchLength) ||
           options.waves.welchLength < kShortestWelchWindow)
         return "--welch-segment needs a whole number of at least " +
                std::to_string(kShortestWelchWindow) + ", not " + Shown(value);
       return "";
     },
     CliAction::Convert, false},
    {"band", 0, "FMIN:FMAX",
     "the frequencies in Hz the --waves moments and peak are taken over (default 0.04:1.0; "
     "FMAX is clipped to the Nyquist frequency; a dump whose Nyquist frequency is FMIN or "
     "lower is refused)",
     [](std::string_view value, CliOptions& options) -> std::string {
       const size_t colon = value.find(':');
       double low = 0.0;
       double high = 0.0;
       if (colon == std::string_view::npos || !ParseNumber(value.substr(0, colon), &low) ||
           !ParseNumber(value.substr(colon + 1), &high) || low < 0.0 || !(high > low))
         return "--band needs FMIN:FMAX in Hz with 0 <= FMIN < FMAX, not " + Shown(value);
       options.waves.bandLow = low;
       options.waves.bandHigh = high;
       return "";
     },
     CliAction::Convert, false},
    {"pressure", 0, "UNIT",
     "for --waves, take a gauge dump's readings as gauge pressure in UNIT (Pa, kPa, dbar, bar "
     "or mH2O) and correct the statistics to the surface; needs --sensor-height",
     [](std::string_view value, CliOptions& options) -> std::string {
       const std::optional<PressureUnit> unit = PressureUnitNamed(std::string(value));
       if (!unit)
         return "--pressure needs one of Pa, kPa, dbar, bar and mH2O, not " + Shown(value);
       options.waves.pressure = options.waves.pressure.value_or(PressureSettings{});
       options.waves.pressure->unit = *unit;
       return "";
     },
     CliAction::Convert, false},
    {"atmospheric", 0, "P",
     "with --pressure: the atmospheric pressure taken off every reading, in the same unit "
     "(default 0)",
     [](std::string_view value, CliOptions& options) -> std::string {
       options.waves.pressure = options.waves.pressure.value_or(PressureSettings{});
       if (!ParseNumber(value, &options.waves.pressure->atmospheric))
         return "--atmospheric needs a finite decimal number, not " + Shown(value);
       return "";
     },
     CliAction::Convert, false},
    {"density", 0, "RHO", "with --pressure: the water's density in kg/m3 (default 1025)",
     [](std::string_view value, CliOptions& options) -> std::string {
       options.waves.pressure = options.waves.pressure.value_or(PressureSettings{});
       if (!ParseNumber(value, &options.waves.pressure->density) ||
           !(options.waves.pressure->density > 0.0))
         return "--density needs a positive number of kg/m3, not " + Shown(value);
       return "";
     },
     CliAction::Convert, false},
    {"sensor-height", 0, "M", "with --pressure: the sensor's height above the bed in m",
     [](std::string_view value, CliOptions& options) -> std::string {
       options.waves.pressure = options.waves.pressure.value_or(PressureSettings{});
       if (!ParseNumber(value, &options.waves.pressure->sensorHeight) ||
           options.waves.pressure->sensorHeight < 0.0)
         return "--sensor-height needs a height in m of 0 or more, not " + Shown(value);
       return "";
     },
     CliAction::Convert, false},
    {"kp-min", 0, "K",
     "with --pressure: leave out of the band the frequencies whose pressure response "
     "cosh(kz)/cosh(kh) is below K (default 0.1)",
     [](std::string_view value, CliOptions& options) -> std::string {
       options.waves.pressure = options.waves.pressure.value_or(PressureSettings{});
       if (!ParseNumber(value, &options.waves.pressure->kpMin) ||
           !(options.waves.pressure->kpMin > 0.0) || options.waves.pressure->kpMin > 1.0)
         return "--kp-min needs a number above 0 and at most 1, not " + Shown(value);
       return "";
     },
     CliAction::Convert, false},
    {"barometer", 0, "FILE",
     "take the air pressure of a barometer record off a gauge dump's pressure readings, "
     "interpolated to each reading's time, for the NetCDF and tidy outputs and the statistics: "
     "a CSV of time (ISO 8601 with its zone) and air_pressure, or a NetCDF file with a time "
     "coordinate and a variable of standard name air_pressure; readings outside it or in a gap "
     "of over 3 hours are flagged 4 (see docs/qc.md); not with --atmospheric",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (value.empty())
         return "--barometer needs a file name";
       options.science.barometerPath = value;
       options.science.barometer.reset();
       return "";
     },
     CliAction::Convert, false},
    {"barometer-units", 0, "UNITS",
     "the units of a CSV barometer record's air_pressure (default hPa)",
     [](std::string_view value, CliOptions& options) -> std::string {
       if (std::string problem; CheckUnit(std::string(value), &problem) != UnitCheck::kValid)
         return "--barometer-units: " + problem;
       options.science.barometerUnits = value;
       return "";
     },
     CliAction::Convert, false},
    {"help", 0, nullptr, "show this text", nullptr, CliAction::ShowHelp, false},
    {"version", 0, nullptr, "show the version", nullptr, CliAction::ShowVersion, false},
};

constexpr int kFirstLongCode = 256;  // getopt_long's codes of options without a short name

int CodeOf(size_t index) {
  const OptionRow& row = kOptions[index];
  return row.shortName != 0 ? row.shortName : kFirstLongCode + static_cast<int>(index);
}

const OptionRow* SpecOfCode(int code) {
  for (size_t index = 0; index < std::size(kOptions); ++index) {
    if (CodeOf(index) == code)
      return &kOptions[index];
  }
  return nullptr;
}

std::vector<option> LongOptionTable() {
  std::vector<option> table;
  for (size_t index = 0; index < std::size(kOptions); ++index) {
    const OptionRow& row = kOptions[index];
    table.push_back({row.name, row.valueName != nullptr ? required_argument : no_argument, nullptr,
                     CodeOf(index)});
  }
  table.push_back({nullptr, 0, nullptr, 0});
  return table;
}

// "-" first: every argument comes back in order, files as code 1, whatever
// POSIXLY_CORRECT says; ":" next: a missing value is told apart.
std::string ShortOptionText() {
  std::string text = "-:";
  for (const OptionRow& row : kOptions) {
    if (row.shortName == 0)
      continue;
    text += row.shortName;
    if (row.valueName != nullptr)
      text += ':';
  }
  return text;
}

std::string NameOf(const OptionRow& row) {
  return std::string("--") + row.name;
}

// The long options that start with `given` ("--j": --jobs and --json).
std::vector<std::string> OptionsStartingWith(std::string_view given) {
  std::vector<std::string> names;
  for (const OptionRow& row : kOptions) {
    if (NameOf(row).starts_with(given))
      names.push_back(NameOf(row));
  }
  return names;
}

std::string UnknownLongOption(std::string_view argument) {
  const std::string_view given = argument.substr(0, argument.find('='));
  const std::vector<std::string> candidates = OptionsStartingWith(given);
  if (candidates.size() < 2)
    return "unknown option " + std::string(given);
  std::string text = std::string(given) + " is short for more than one option:";
  for (const std::string& name : candidates)
    text += " " + name;
  return text;
}

// Appends `text` cut into lines of at most kHelpWidth, the first going on
// from `column`, the others indented to `indent`.
void AppendWrapped(std::string* out, std::string_view text, size_t column, size_t indent) {
  bool lineEmpty = true;
  while (!text.empty()) {
    const size_t wordEnd = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, wordEnd);
    if (!lineEmpty && column + 1 + word.size() > kHelpWidth) {
      *out += "\n" + std::string(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      *out += ' ';
      ++column;
    }
    *out += word;
    column += word.size();
    lineEmpty = false;
    text.remove_prefix(std::min(wordEnd + 1, text.size()));
  }
  *out += '\n';
}

std::string OptionHelp(const OptionRow& row) {
  std::string left = "  ";
  if (row.shortName != 0)
    left += std::string("-") + row.shortName + ", ";
  left += NameOf(row);
  if (row.valueName != nullptr)
    left += std::string(" ") + row.valueName;
  if (left.size() + 1 < kHelpColumn) {
    left.resize(kHelpColumn, ' ');
  } else {
    left += "\n" + std::string(kHelpColumn, ' ');
  }
  std::string text = left;
  AppendWrapped(&text, row.help, kHelpColumn, kHelpColumn);
  return text;
}

// The call as a shell would take it again, for the science outputs'
// history: arguments with anything but plain characters in single quotes.
std::string Invocation(int argc, const char* const argv[]) {
  std::string text = "zorqconvert-cli";
  for (int index = 1; index < argc; ++index) {
    const std::string_view argument = argv[index];
    const bool plain =
        !argument.empty() && std::all_of(argument.begin(), argument.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) ||
                 std::strchr("-_./=,:+@%", c) != nullptr;
        });
    text += ' ';
    if (plain) {
      text += argument;
      continue;
    }
    text += '\'';
    for (const char c : argument)
      text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += '\'';
  }
  return text;
}

// Options that may be given more than once, each time adding one value.
bool Repeatable(const OptionRow& row) {
  return std::string_view(row.name) == "attr";
}

class Parser {
 public:
  Parser(int argc, const char* const argv[], CliOptions* options, std::string* error)
      : argc_(argc), argv_(const_cast<char* const*>(argv)), options_(options), error_(error) {}

  CliAction Run() {
    const std::vector<option> longOptions = LongOptionTable();
    const std::string shortOptions = ShortOptionText();
    opterr = 0;
    optind = 0;  // glibc starts afresh, so the parser can run more than once
    std::vector<std::string> paths;
    for (;;) {
      const int code = getopt_long(argc_, argv_, shortOptions.c_str(), longOptions.data(), nullptr);
      if (code == -1)
        break;
      if (code == 1) {
        paths.emplace_back(optarg);
        continue;
      }
      const CliAction action = Option(code);
      if (action != CliAction::Convert)
        return action;
    }
    for (int index = optind; index < argc_; ++index)
      paths.emplace_back(argv_[index]);  // after "--"
    return Finish(paths);
  }

 private:
  CliAction Fail(const std::string& message) {
    *error_ = message;
    return CliAction::UsageError;
  }

  // The argument getopt_long has just passed over.
  std::string_view LastArgument() const {
    return optind > 0 && optind <= argc_ ? argv_[optind - 1] : "";
  }

  CliAction Option(int code) {
    if (code == '?')
      return Refused();
    if (code == ':') {
      const OptionRow* row = SpecOfCode(optopt);
      return Fail((row != nullptr && row->shortName != 0 ? std::string("-") + row->shortName
                                                         : NameOf(*row)) +
                  " needs a value");
    }
    const OptionRow* row = SpecOfCode(code);
    if (row->action != CliAction::Convert)
      return row->action;
    if (std::find(given_.begin(), given_.end(), row) != given_.end() && !Repeatable(*row))
      return Fail(NameOf(*row) + " given more than once");
    given_.push_back(row);
    const std::string problem = row->take(optarg != nullptr ? optarg : "", *options_);
    return problem.empty() ? CliAction::Convert : Fail(problem);
  }

  // An option getopt_long does not know, or a value given to a flag.
  CliAction Refused() {
    const OptionRow* row = SpecOfCode(optopt);
    if (row != nullptr)
      return Fail(NameOf(*row) + " takes no value");
    if (optopt != 0)
      return Fail(std::string("unknown option -") + static_cast<char>(optopt));
    return Fail(UnknownLongOption(LastArgument()));
  }

  bool Given(std::string_view name) const {
    return std::any_of(given_.begin(), given_.end(),
                       [&](const OptionRow* row) { return row->name == name; });
  }

  CliAction Finish(const std::vector<std::string>& paths) {
    if (options_->correction && IsGaugeDump(options_->fromType))
      return Fail("--gain and --offset apply to From types 1 and 2 only");
    if (options_->append && options_->overwrite)
      return Fail("--append and --overwrite do not go together");
    const bool outputDirGiven = !options_->outputDir.empty();
    if (Given("merge") && !CheckMerge(paths, outputDirGiven))
      return CliAction::UsageError;
    if (options_->form == CliForm::Check) {
      if (outputDirGiven)
        return Fail("--check writes nothing: -o does not go with it");
      if (options_->append || options_->overwrite)
        return Fail("--check writes nothing: --append and --overwrite do not go with it");
    } else if (outputDirGiven) {
      options_->form = CliForm::OutputDir;
    }
    if (!CheckPaths(paths) || !CheckFormats(paths) || !CheckWaves(paths) || !CheckBarometer() ||
        !CheckTrimDepth())
      return CliAction::UsageError;
    options_->fromPaths =
        options_->form == CliForm::FromTo ? std::vector<std::string>{paths[0]} : paths;
    if (options_->form == CliForm::FromTo) {
      options_->fromPath = paths[0];
      options_->toPath = paths[1];
    }
    const bool onlyLegacyOptions =
        std::all_of(given_.begin(), given_.end(), [](const OptionRow* row) { return row->legacy; });
    options_->legacyCall = options_->form == CliForm::FromTo &&
                           options_->fromType != TypeNumber(FromType::kNone) && Given("to-type") &&
                           onlyLegacyOptions && paths[0] != "-" && paths[1] != "-";
    return CliAction::Convert;
  }

  // A merge writes the series of its dumps: a NetCDF file, with the
  // statistics beside it. A legacy or tidy CSV per dump is what a
  // conversion without --merge gives.
  bool CheckMerge(const std::vector<std::string>& paths, bool outputDirGiven) {
    if (Given("check") || outputDirGiven || options_->append) {
      Fail("--merge writes NAME.nc: --check, -o and --append do not go with it");
      return false;
    }
    const FormatSet& formats = options_->formats;
    if (Given("format") && (formats.legacy || formats.tidy || !formats.netcdf)) {
      Fail("--merge writes one NetCDF file: give --format netcdf or leave --format out");
      return false;
    }
    options_->form = CliForm::Merge;
    options_->formats = FormatSet{false, true, false};
    if (std::find(paths.begin(), paths.end(), "-") != paths.end()) {
      Fail(
          "--merge reads each dump's first time before the order is known: standard input "
          "(\"-\") cannot be a DUMP");
      return false;
    }
    if (options_->mergeTo == "-") {
      Fail("--merge needs a file name: NetCDF is written by name");
      return false;
    }
    return true;
  }

  // The science options go with the science outputs, and those cannot be
  // appended to or share standard output.
  bool CheckFormats(const std::vector<std::string>& paths) {
    const FormatSet& formats = options_->formats;
    for (const char* name : {"units", "standard-name", "attr", "deployment", "position"}) {
      if (Given(name) && !formats.netcdf) {
        Fail(std::string("--") + name + " describes the NetCDF output: give --format netcdf");
        return false;
      }
    }
    for (const char* name : {"clock-offset", "clock-drift"}) {
      if (Given(name) && !formats.Science()) {
        Fail(std::string("--") + name +
             " shifts the NetCDF and tidy outputs only (the legacy CSV is never shifted): give "
             "--format netcdf or tidy");
        return false;
      }
    }
    if (options_->append && formats.Science()) {
      Fail("--append adds to a legacy CSV only; the NetCDF and tidy outputs are written whole");
      return false;
    }
    if (options_->form == CliForm::FromTo && paths.size() == 2 && paths[1] == "-" &&
        formats.Count() > 1) {
      Fail("TO \"-\" holds one output: give one --format, or -o DIR for several");
      return false;
    }
    for (const Attribute& attribute : options_->attributeOptions)
      SetAttribute(&options_->science.attributes, attribute.name, attribute.value);
    if (options_->position)
      options_->science.position = options_->position;
    return CheckStandardNameUnits();
  }

  // The readings' standard name must suit their units, which may come after
  // it or from the deployment file, and for a gauge dump default to "1".
  // With the kind left to each dump, a gauge dump's "1" is caught when it
  // is converted (the name is left out, with a warning).
  bool CheckStandardNameUnits() {
    const ScienceSettings& science = options_->science;
    if (science.standardName.empty())
      return true;
    ScienceSettings settings = science;
    settings.gauge = IsGaugeDump(options_->fromType);
    const std::string problem =
        StandardNameProblem("the standard name", science.standardName, ReadingUnits(settings));
    if (!problem.empty()) {
      Fail(problem);
      return false;
    }
    return true;
  }

  bool CheckPaths(const std::vector<std::string>& paths) {
    if (options_->form == CliForm::FromTo && paths.size() != 2) {
      Fail("give exactly two files, FROM and TO (or -o DIR, or --check, before several FROM)");
      return false;
    }
    if (paths.empty()) {
      Fail("give at least one FROM");
      return false;
    }
    if (std::any_of(paths.begin(), paths.end(), [](const std::string& p) { return p.empty(); })) {
      Fail("a file name is empty");
      return false;
    }
    const size_t inputs = options_->form == CliForm::FromTo ? 1 : paths.size();
    if (inputs > 1 && std::find(paths.begin(), paths.end(), "-") != paths.end()) {
      Fail("standard input (\"-\") can only be the one FROM");
      return false;
    }
    if (options_->form == CliForm::OutputDir && paths[0] == "-") {
      Fail("-o makes each output's name from its FROM's; standard input has none: give FROM TO");
      return false;
    }
    if (options_->form == CliForm::FromTo && paths[1] == "-") {
      if (options_->json) {
        Fail("--json writes to standard output, so TO cannot be \"-\"");
        return false;
      }
      if (options_->append || options_->overwrite) {
        Fail("--append and --overwrite do not apply to standard output");
        return false;
      }
    }
    return true;
  }

  // Trimming by depth (--trim-depth, or the deployment file's) needs
  // readings of pressure and an output that leaves them out.
  bool CheckTrimDepth() {
    if (!options_->science.trimDepth)
      return true;
    const char* named = Given("trim-depth") ? "--trim-depth" : "the deployment file's trim_depth";
    if (!options_->formats.Science() && options_->wavesTo.empty()) {
      Fail(std::string(named) +
           " trims the NetCDF and tidy outputs and the statistics only (the legacy CSV keeps "
           "every reading): give --format netcdf or tidy, or --waves");
      return false;
    }
    if (IsLoggerDump(options_->fromType)) {
      Fail(std::string(named) + " applies to pressure dumps (From type 3) only");
      return false;
    }
    std::string problem;
    if (!ReadingDepth(options_->science, options_->waves.pressure, &problem)) {
      Fail(std::string(named) + ": " + problem);
      return false;
    }
    return true;
  }

  // The statistics' settings go with --waves; the pressure ones with
  // --pressure, which needs the sensor's height.
  bool CheckWaves(const std::vector<std::string>& paths) {
    const bool waves = !options_->wavesTo.empty();
    for (const char* name : {"segment", "welch-segment", "band", "pressure"}) {
      if (Given(name) && !waves) {
        Fail(std::string("--") + name + " is a setting of the wave statistics: give --waves too");
        return false;
      }
    }
    for (const char* name : {"atmospheric", "density", "sensor-height", "kp-min"}) {
      if (Given(name) && !Given("pressure")) {
        Fail(std::string("--") + name + " goes with --pressure");
        return false;
      }
    }
    if (Given("pressure") && !Given("sensor-height")) {
      Fail("--pressure needs --sensor-height M, the sensor's height above the bed");
      return false;
    }
    if (Given("pressure") && IsLoggerDump(options_->fromType)) {
      Fail("--pressure applies to gauge dumps (From type 3) only");
      return false;
    }
    if (!waves)
      return true;
    const bool several =
        options_->form != CliForm::FromTo && options_->form != CliForm::Merge && paths.size() > 1;
    if (options_->wavesTo != kWavesBesideOutput && options_->form == CliForm::OutputDir) {
      Fail("with -o, the statistics go to DIR/<name>.waves.csv: give --waves auto");
      return false;
    }
    if (options_->wavesTo != kWavesBesideOutput && several) {
      Fail(
          "--waves FILE takes the statistics of one input; with several, give -o DIR and "
          "--waves auto");
      return false;
    }
    if (options_->wavesTo == kWavesBesideOutput && options_->form == CliForm::Check) {
      Fail("--check keeps no output to name the statistics after: give --waves FILE");
      return false;
    }
    if (options_->wavesTo == kWavesBesideOutput && options_->form == CliForm::FromTo &&
        paths[1] == "-") {
      Fail("the output is standard output, which names no file: give --waves FILE");
      return false;
    }
    if (options_->wavesTo == "-" && options_->form == CliForm::FromTo && paths[1] == "-") {
      Fail("the output and --waves cannot both be standard output");
      return false;
    }
    if (options_->wavesTo == "-" && options_->json) {
      Fail("--json writes to standard output, so --waves cannot be \"-\"");
      return false;
    }
    return true;
  }

  // The record is read here, once for every input.
  bool CheckBarometer() {
    ScienceSettings& science = options_->science;
    if (science.barometerPath.empty()) {
      if (Given("barometer-units"))
        Fail("--barometer-units gives the units of --barometer's record: give --barometer too");
      return !Given("barometer-units");
    }
    if (Given("atmospheric")) {
      Fail("--atmospheric is a constant air pressure and --barometer a record of it: give one");
      return false;
    }
    if (!options_->formats.Science() && options_->wavesTo.empty()) {
      Fail(
          "the barometer's air pressure corrects the NetCDF and tidy outputs and the "
          "statistics: give --format netcdf or tidy, or --waves");
      return false;
    }
    OutputSettings settings;
    settings.science = science;
    settings.waves = options_->waves;
    const bool gauge = !IsLoggerDump(options_->fromType);
    BarometerUnits units;
    std::string problem;
    auto record = std::make_shared<AirPressureRecord>();
    if (!BarometerReadingUnits(settings, gauge, options_->formats.Science(), &units, &problem) ||
        !ReadAirPressureRecord(science.barometerPath, science.barometerUnits, record.get(),
                               &problem)) {
      Fail(problem);
      return false;
    }
    science.barometer = std::move(record);
    return true;
  }

  int argc_;
  char* const* argv_;
  CliOptions* options_;
  std::string* error_;
  std::vector<const OptionRow*> given_;  // options given so far
};

}  // namespace

CliAction ParseCommandLine(int argc, const char* const argv[], CliOptions* options,
                           std::string* error) {
  options->science.invocation = Invocation(argc, argv);
  return Parser(argc, argv, options, error).Run();
}

std::string UsageText() {
  std::string text = kUsageHead;
  for (const OptionRow& row : kOptions)
    text += OptionHelp(row);
  text += '\n';
  AppendWrapped(&text, kUsageTail, 0, 0);
  return text;
}

const char* ShortUsageText() {
  return kShortUsage;
}
