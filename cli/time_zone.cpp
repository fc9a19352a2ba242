#include "cli/time_zone.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "runtime/caltime.h"

namespace {

constexpr const char* kZoneFolder = "/usr/share/zoneinfo/";

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

}  // namespace

bool TimeZoneExists(const std::string& zone) {
  if (zone.empty() || ClimbsOut(zone))
    return false;
  struct stat info {};
  return ::stat((kZoneFolder + zone).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string SettleTimeZone(const std::string& zone) {
  if (!zone.empty()) {
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
    return zone;
  }
  const char* given = std::getenv("TZ");
  if (given != nullptr) {
    ::tzset();
    const std::string value = given;
    if (value.empty())
      return "UTC";  // what the C library takes for an empty TZ
    if (value == ":/etc/localtime")
      return SystemZoneName();
    return value[0] == ':' ? value.substr(1) : value;
  }
  const std::string name = SystemZoneName();
  PinLocalTimeZone();
  return name;
}
