// The CF standard names this program knows (science/cf_standard_names.txt,
// built in), each with its canonical units, and whether given units fit one.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct StandardName {
  std::string name;
  std::string canonicalUnits;  // empty: the table gives none (flags)
};

// The version of the CF standard name table the names come from.
int StandardNameTableVersion();
// The standard_name_vocabulary attribute: "CF Standard Name Table v83".
std::string StandardNameVocabulary();

std::optional<StandardName> FindStandardName(const std::string& name);
// Every name known, in alphabetical order.
std::vector<StandardName> AllStandardNames();

enum class StandardNameFit {
  kFits,
  kNotInTable,
  kUnitsDoNotConvert,  // the units are none, or do not convert to the canonical units
};

// Whether `name` is in the table and values in `units` convert to its
// canonical units (for a name without canonical units: `units` empty or
// dimensionless).
StandardNameFit FitStandardName(const std::string& name, const std::string& units);

// What is wrong with `name` for values in `units`, in words for an error
// message that starts with what gave the name ("--standard-name", or
// nothing); empty when the name fits.
std::string StandardNameProblem(const std::string& given, const std::string& name,
                                const std::string& units);

// The units that mean "not known": a gauge dump's readings without --units.
inline constexpr const char* kUnknownUnits = "1";

// The standard name a statistic of the readings may carry: `name` when the
// readings' units are known and the statistic's units convert to the name's
// canonical units; else empty, so no wave name tags a number of other units.
std::string StatisticStandardName(const std::string& name, const std::string& statisticUnits,
                                  const std::string& readingUnits);

// The warning for statistics of readings of unknown units, which carry no
// standard name; empty when the units are known.
std::string StatisticNamesWarning(const std::string& readingUnits);

// The text of science/cf_standard_names.txt (in the generated source).
const char* StandardNameTableText();
