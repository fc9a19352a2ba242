#include "cli/time_zone.h"

#include <cstdlib>
#include <optional>

namespace {

std::string DescribeTzProblem(const std::string& value) {
  return "TZ=\"" + value +
         "\" names no time zone: it is neither a zone of /usr/share/zoneinfo (such as "
         "Europe/Berlin) nor a rule such as UTC0; set TZ to one, or give --tz ZONE";
}

}  // namespace

bool TimeZoneExists(const std::string& zone) {
  return Zone::Named(zone).has_value();
}

bool ResolveTimeZone(const std::string& given, Zone* zone, std::string* problem) {
  const char* fromEnvironment = std::getenv("TZ");
  const std::string value = !given.empty() ? given : fromEnvironment ? fromEnvironment : "";
  if (given.empty() && fromEnvironment == nullptr) {
    *zone = Zone::System();
    return true;
  }
  const std::optional<Zone> found = Zone::FromTzValue(value);
  if (!found) {
    *problem = DescribeTzProblem(value);
    return false;
  }
  *zone = *found;
  return true;
}
