#include "science/standard_names.h"

#include <map>
#include <sstream>

#include "science/units.h"

namespace {

constexpr const char* kVersionKey = "version";

struct NameTable {
  int version = 0;
  std::map<std::string, std::string> unitsOfName;
};

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Lines of "NAME UNITS" (UNITS may hold spaces, or be absent), "version N",
// comments after "#" and blank lines.
NameTable ParseTable(const std::string& text) {
  NameTable table;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trimmed(line.substr(0, line.find('#')));
    if (line.empty())
      continue;
    const size_t gap = line.find_first_of(" \t");
    const std::string name = line.substr(0, gap);
    const std::string rest = gap == std::string::npos ? "" : Trimmed(line.substr(gap));
    if (name == kVersionKey)
      table.version = std::stoi(rest);
    else
      table.unitsOfName[name] = rest;
  }
  return table;
}

const NameTable& Table() {
  static const NameTable table = ParseTable(StandardNameTableText());
  return table;
}

bool UnitsFitCanonical(const std::string& units, const std::string& canonical) {
  if (canonical.empty())
    return units.empty() || UnitsConvert(units, "1");
  return UnitsConvert(units, canonical);
}

}  // namespace

int StandardNameTableVersion() {
  return Table().version;
}

std::string StandardNameVocabulary() {
  return "CF Standard Name Table v" + std::to_string(StandardNameTableVersion());
}

std::optional<StandardName> FindStandardName(const std::string& name) {
  const auto found = Table().unitsOfName.find(name);
  if (found == Table().unitsOfName.end())
    return std::nullopt;
  return StandardName{found->first, found->second};
}

std::vector<StandardName> AllStandardNames() {
  std::vector<StandardName> names;
  for (const auto& [name, units] : Table().unitsOfName)
    names.push_back({name, units});
  return names;
}

StandardNameFit FitStandardName(const std::string& name, const std::string& units) {
  const std::optional<StandardName> entry = FindStandardName(name);
  if (!entry)
    return StandardNameFit::kNotInTable;
  return UnitsFitCanonical(units, entry->canonicalUnits) ? StandardNameFit::kFits
                                                         : StandardNameFit::kUnitsDoNotConvert;
}

std::string StandardNameProblem(const std::string& given, const std::string& name,
                                const std::string& units) {
  const std::string named = (given.empty() ? "" : given + " ") + "\"" + name + "\"";
  switch (FitStandardName(name, units)) {
    case StandardNameFit::kFits:
      return "";
    case StandardNameFit::kNotInTable:
      return named + " is not among the CF standard names zorqconvert knows (" +
             StandardNameVocabulary() +
             "): check its spelling, or see docs/outputs.md to add a name";
    case StandardNameFit::kUnitsDoNotConvert:
      break;
  }
  const std::string canonical = FindStandardName(name)->canonicalUnits;
  std::string problem = named + " is in " +
                        (canonical.empty() ? "no units" : "\"" + canonical + "\"") +
                        ", and the readings' units \"" + units + "\" do not convert to that";
  if (units == kUnknownUnits)
    problem += ": give the readings' units with --units (or \"units\" in the deployment file)";
  return problem;
}

std::string StatisticStandardName(const std::string& name, const std::string& statisticUnits,
                                  const std::string& readingUnits) {
  if (readingUnits == kUnknownUnits)
    return "";
  return FitStandardName(name, statisticUnits) == StandardNameFit::kFits ? name : "";
}

std::string StatisticNamesWarning(const std::string& readingUnits) {
  if (readingUnits != kUnknownUnits)
    return "";
  return "the readings' units are not known (\"1\"), so the wave statistics carry no CF "
         "standard name (give --units to name them)";
}
