// The time zone in which the logger's date stamps are read as local times.
#pragma once

#include <string>

// True when `zone` names a zone file under /usr/share/zoneinfo ("UTC",
// "Europe/Berlin"); names that climb out of that folder are refused.
bool TimeZoneExists(const std::string& zone);

// Sets the zone for the whole process, before any conversion thread starts:
// `zone` when given (--tz), else $TZ as it is, else the system's zone
// (pinned as the converter always did). Returns the name of the zone used.
std::string SettleTimeZone(const std::string& zone);
