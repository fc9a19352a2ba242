// The time zone a dump's clock was set in, as a value that travels with a
// conversion: nothing reads or writes the process's TZ to learn it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace date {
class time_zone;
}

class Zone {
 public:
  // UTC.
  Zone() = default;

  // A zone of the time-zone database ("Europe/Berlin", "UTC"); nothing when
  // the database holds no zone of that name.
  static std::optional<Zone> Named(std::string_view name);
  // A zone as $TZ names one: a database name, perhaps after ":", a path
  // into the zone folder or to /etc/localtime, or a fixed offset written as
  // a rule without daylight saving ("UTC0", "<+03>-3"). An empty value is
  // UTC. Nothing for anything else, rules with daylight saving among them.
  static std::optional<Zone> FromTzValue(std::string_view value);
  // The zone the system is set to; UTC when it cannot be told.
  static Zone System();

  // "Europe/Berlin", "UTC", or the rule a fixed offset was given as.
  const std::string& name() const { return name_; }

  bool operator==(const Zone& other) const {
    return zone_ == other.zone_ && fixedOffset_ == other.fixedOffset_;
  }

 private:
  friend class ZoneOffsets;
  Zone(const date::time_zone* zone, std::string name, int64_t fixedOffset);

  const date::time_zone* zone_ = nullptr;  // null: the fixed offset
  std::string name_ = "UTC";
  int64_t fixedOffset_ = 0;  // seconds east of UTC
};

// A zone's offsets from UTC, kept one span at a time: conversions go
// forward through a dump, so nearly every time falls in the span of the one
// before and takes its offset by arithmetic. One per thread of work.
class ZoneOffsets {
 public:
  explicit ZoneOffsets(const Zone& zone);

  // Local seconds (from 1970-01-01T00:00:00 on the zone's wall clock) to
  // UTC seconds. A local time in a spring-forward gap takes the offset from
  // before the gap (it moves forward as mktime moves it); one in a repeated
  // autumn hour is read as the first of the two, the summer-time one.
  int64_t UtcFromLocal(int64_t local);
  // UTC seconds to local seconds.
  int64_t LocalFromUtc(int64_t utc);

  const Zone& zone() const { return zone_; }

 private:
  // Where one offset holds, in UTC seconds [from, to), with the offset
  // before it: local times up to that offset past `from` are the earlier
  // span's when the clock went back there.
  struct Span {
    int64_t from = 0;
    int64_t to = 0;
    int64_t offset = 0;
    int64_t offsetBefore = 0;
  };

  bool InSpanUtc(int64_t utc) const { return utc >= span_.from && utc < span_.to; }
  bool InSpanLocal(int64_t local) const;
  void FindSpanAt(int64_t utc);
  int64_t OffsetAt(int64_t utc) const;

  Zone zone_;
  bool known_ = false;
  Span span_;
};
