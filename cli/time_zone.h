// The time zone in which the logger's date stamps are read as local times.
#pragma once

#include <string>

// True when `zone` names a zone file under /usr/share/zoneinfo ("UTC",
// "Europe/Berlin"): a file that holds a zone, not a table such as
// zone.tab. Names that climb out of that folder are refused.
bool TimeZoneExists(const std::string& zone);

// True when `rule` is a zone written out as the C library reads $TZ without
// a zone file: "UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "<+03>-3".
bool IsTimeZoneRule(const std::string& rule);

// Sets the zone for the whole process, before any conversion thread starts:
// `zone` when given (--tz, checked already), else $TZ, else the system's
// zone (pinned as the converter always did). $TZ must name a zone file (as
// --tz does, or a full path with a leading ":") or be a rule; else `problem`
// says so and nothing is set. Returns the name of the zone used in `name`.
bool SettleTimeZone(const std::string& zone, std::string* name, std::string* problem);
