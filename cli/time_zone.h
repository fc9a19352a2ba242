// The time zone in which the logger's date stamps are read as local times.
#pragma once

#include <string>

#include "runtime/time_zone.h"

// The zone of --tz: a zone of the time-zone database ("UTC",
// "Europe/Berlin").
bool TimeZoneExists(const std::string& zone);

// The zone a run reads its stamps in, read once before any conversion:
// `given` when not empty (--tz, checked already), else $TZ, else the
// system's zone. $TZ must name a zone of the database (perhaps after ":"
// or as a path into it, or ":/etc/localtime"), or a fixed offset such as
// "UTC0"; else `problem` says so and what to do.
bool ResolveTimeZone(const std::string& given, Zone* zone, std::string* problem);
