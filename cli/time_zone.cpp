#include "cli/time_zone.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>

#include "runtime/caltime.h"

namespace {

constexpr const char* kZoneFolder = "/usr/share/zoneinfo/";
constexpr char kZoneFileMagic[] = "TZif";  // the start of every compiled zone file

bool ClimbsOut(const std::string& zone) {
  if (zone.front() == '/')
    return true;
  size_t start = 0;
  while (start <= zone.size()) {
    const size_t slash = zone.find('/', start);
    const size_t end = slash == std::string::npos ? zone.size() : slash;
    if (zone.compare(start, end - start, "..") == 0 || end == start)
      return true;
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  return false;
}

// The zone /etc/localtime links to ("Europe/Berlin"), empty when it is no link
// into the zone folder.
std::string ZoneOfLocaltimeLink() {
  char target[4096];
  const ssize_t length = ::readlink("/etc/localtime", target, sizeof target - 1);
  if (length <= 0)
    return "";
  const std::string path(target, static_cast<size_t>(length));
  const size_t at = path.find("zoneinfo/");
  return at == std::string::npos ? "" : path.substr(at + 9);
}

std::string ZoneOfEtcTimezone() {
  std::ifstream in("/etc/timezone");
  std::string line;
  if (!std::getline(in, line))
    return "";
  const size_t end = line.find_last_not_of(" \t\r");
  return end == std::string::npos ? "" : line.substr(0, end + 1);
}

// The zone the C library takes when TZ is unset: the one /etc/localtime holds.
std::string SystemZoneName() {
  std::string name = ZoneOfLocaltimeLink();
  if (name.empty())
    name = ZoneOfEtcTimezone();
  if (name.empty()) {
    struct stat info {};
    name = ::stat("/etc/localtime", &info) == 0 ? "/etc/localtime" : "UTC";
  }
  return name;
}

// A regular file that starts as a compiled zone file does.
bool IsZoneFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  std::ifstream in(path, std::ios::binary);
  char magic[sizeof kZoneFileMagic - 1] = {};
  return in.read(magic, sizeof magic) && std::memcmp(magic, kZoneFileMagic, sizeof magic) == 0;
}

std::string DescribeTzProblem(const std::string& value) {
  return "TZ=\"" + value +
         "\" names no time zone: it is neither a zone of /usr/share/zoneinfo (such as "
         "Europe/Berlin) nor a rule such as UTC0; set TZ to one, or give --tz ZONE";
}

// $TZ as the C library reads it: ":" first means a file, else a zone name
// or a rule. False when it names nothing the library would use.
bool TzValueNamesAZone(const std::string& value) {
  const std::string name = value[0] == ':' ? value.substr(1) : value;
  if (name.empty())
    return false;
  if (name[0] == '/')
    return IsZoneFile(name);
  return TimeZoneExists(name) || (value[0] != ':' && IsTimeZoneRule(name));
}

}  // namespace

bool TimeZoneExists(const std::string& zone) {
  return !zone.empty() && !ClimbsOut(zone) && IsZoneFile(kZoneFolder + zone);
}

bool IsTimeZoneRule(const std::string& rule) {
  // A name of three letters or more (or <...>), an offset, then perhaps a
  // summer name with its own offset and the two days of the change.
  static const std::regex kRule(
      "([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)"
      "[+-]?[0-9]{1,2}(:[0-9]{2}){0,2}"
      "(([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)"
      "([+-]?[0-9]{1,2}(:[0-9]{2}){0,2})?"
      "(,(J[0-9]{1,3}|[0-9]{1,3}|M[0-9]{1,2}\\.[1-5]\\.[0-6])(/"
      "[+-]?[0-9]{1,3}(:[0-9]{2}){0,2})?){2}"
      ")?");
  return std::regex_match(rule, kRule);
}

bool SettleTimeZone(const std::string& zone, std::string* name, std::string* problem) {
  if (!zone.empty()) {
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
    *name = zone;
    return true;
  }
  const char* given = std::getenv("TZ");
  if (given == nullptr) {
    *name = SystemZoneName();
    PinLocalTimeZone();
    return true;
  }
  const std::string value = given;
  if (value.empty()) {
    *name = "UTC";  // what the C library takes for an empty TZ
  } else if (!TzValueNamesAZone(value)) {
    *problem = DescribeTzProblem(value);
    return false;
  } else if (value == ":/etc/localtime") {
    *name = SystemZoneName();
  } else {
    *name = value[0] == ':' ? value.substr(1) : value;
  }
  ::tzset();
  return true;
}
