#include "runtime/time_zone.h"

#include <date/tz.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace {

constexpr std::string_view kZoneFolder = "/usr/share/zoneinfo/";
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kLongestRuleHours = 24;  // POSIX allows offsets below 25 hours
// The database marks the span before a zone's first change with a start
// far outside any calendar a dump can name; nothing lies before it.
constexpr int64_t kNoEarlierSpan = -(int64_t{1} << 50);

int64_t SecondsOf(std::chrono::seconds seconds) {
  return static_cast<int64_t>(seconds.count());
}

date::sys_seconds SysSeconds(int64_t seconds) {
  return date::sys_seconds{std::chrono::seconds{seconds}};
}

// The database lists a zone's changes up to 2037 and gives the rule after
// that only as a rule line its reader does not apply (the C library does).
// A time from 2038 on takes its offset from the year of 2010..2037 with the
// same calendar (its 1 January on the same weekday, leap or not), where the
// same rule put the changes on the same days.
constexpr int kFirstUnlistedYear = 2038;
constexpr int kFirstStandInYear = 2010;

struct StandInYear {
  int64_t shift = 0;  // seconds from the stand-in year to the year itself
  int64_t yearStart = 0;
  int64_t nextYearStart = 0;
};

int64_t DaySeconds(date::sys_days day) {
  return SecondsOf(std::chrono::seconds{day.time_since_epoch()});
}

// The stand-in of the year `seconds` lies in (a count on either the UTC or
// the local calendar); no shift before 2038.
StandInYear StandInFor(int64_t seconds) {
  const date::sys_days day = date::floor<date::days>(SysSeconds(seconds));
  const date::year year = date::year_month_day{day}.year();
  StandInYear standIn;
  if (year < date::year{kFirstUnlistedYear})
    return standIn;
  const date::sys_days newYear{year / date::January / 1};
  standIn.yearStart = DaySeconds(newYear);
  standIn.nextYearStart = DaySeconds(date::sys_days{(year + date::years{1}) / date::January / 1});
  for (int candidate = kFirstStandInYear; candidate < kFirstUnlistedYear; ++candidate) {
    const date::year same{candidate};
    const date::sys_days sameNewYear{same / date::January / 1};
    if (same.is_leap() == year.is_leap() && date::weekday{sameNewYear} == date::weekday{newYear}) {
      standIn.shift = standIn.yearStart - DaySeconds(sameNewYear);
      break;
    }
  }
  return standIn;
}

int64_t ListedYearsEnd() {
  return DaySeconds(date::sys_days{date::year{kFirstUnlistedYear} / date::January / 1});
}

// A run of at least three letters, or of three or more of letters, digits,
// "+" and "-" between "<" and ">", from `at`; where it ends, or npos.
size_t EndOfRuleName(std::string_view rule, size_t at) {
  constexpr size_t kShortestName = 3;
  if (at < rule.size() && rule[at] == '<') {
    const size_t close = rule.find('>', at);
    if (close == std::string_view::npos || close - at - 1 < kShortestName)
      return std::string_view::npos;
    for (size_t i = at + 1; i < close; ++i) {
      const char c = rule[i];
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-')
        return std::string_view::npos;
    }
    return close + 1;
  }
  size_t end = at;
  while (end < rule.size() && std::isalpha(static_cast<unsigned char>(rule[end])))
    ++end;
  return end - at >= kShortestName ? end : std::string_view::npos;
}

// One or two digits from `at` into `value`; false when there are none.
bool ReadSmallNumber(std::string_view text, size_t* at, int64_t* value) {
  constexpr size_t kMostDigits = 2;
  size_t digits = 0;
  *value = 0;
  while (*at < text.size() && digits < kMostDigits &&
         std::isdigit(static_cast<unsigned char>(text[*at]))) {
    *value = *value * 10 + (text[*at] - '0');
    ++*at;
    ++digits;
  }
  return digits > 0;
}

// A rule of one name and its offset ("UTC0", "<+03>-3", "EST5"): seconds
// east of UTC. The offset is written west-positive, as POSIX writes it.
std::optional<int64_t> FixedOffsetRule(std::string_view rule) {
  size_t at = EndOfRuleName(rule, 0);
  if (at == std::string_view::npos || at == rule.size())
    return std::nullopt;
  int64_t sign = 1;
  if (rule[at] == '+' || rule[at] == '-')
    sign = rule[at++] == '-' ? -1 : 1;
  int64_t hours = 0;
  int64_t minutes = 0;
  int64_t seconds = 0;
  if (!ReadSmallNumber(rule, &at, &hours) || hours > kLongestRuleHours)
    return std::nullopt;
  for (int64_t* part : {&minutes, &seconds}) {
    if (at == rule.size() || rule[at] != ':')
      break;
    ++at;
    if (!ReadSmallNumber(rule, &at, part) || *part >= kSecondsPerMinute)
      return std::nullopt;
  }
  if (at != rule.size())
    return std::nullopt;  // a summer name or change dates: not a fixed offset
  return -sign * (hours * kSecondsPerHour + minutes * kSecondsPerMinute + seconds);
}

// The database name of the zone file at `path`, when it lies in the zone
// folder (after links are followed).
std::optional<std::string> ZoneNameOfPath(std::string_view path) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(std::string(path), error);
  if (error)
    return std::nullopt;
  const std::string text = real.string();
  if (text.compare(0, kZoneFolder.size(), kZoneFolder) != 0)
    return std::nullopt;
  return text.substr(kZoneFolder.size());
}

}  // namespace

Zone::Zone(const date::time_zone* zone, std::string name, int64_t fixedOffset)
    : zone_(zone), name_(std::move(name)), fixedOffset_(fixedOffset) {}

std::optional<Zone> Zone::Named(std::string_view name) {
  if (name.empty())
    return std::nullopt;
  try {
    const date::time_zone* zone = date::locate_zone(name);
    return Zone(zone, std::string(name), 0);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

std::optional<Zone> Zone::FromTzValue(std::string_view value) {
  if (value.empty())
    return Zone();
  const bool fileMarked = value.front() == ':';
  const std::string_view name = fileMarked ? value.substr(1) : value;
  if (name.empty())
    return std::nullopt;
  if (name.front() == '/') {
    if (name == "/etc/localtime")
      return System();
    const std::optional<std::string> inFolder = ZoneNameOfPath(name);
    return inFolder ? Named(*inFolder) : std::nullopt;
  }
  if (std::optional<Zone> named = Named(name))
    return named;
  if (fileMarked)
    return std::nullopt;
  if (const std::optional<int64_t> offset = FixedOffsetRule(name))
    return Zone(nullptr, std::string(name), *offset);
  return std::nullopt;
}

Zone Zone::System() {
  try {
    const date::time_zone* zone = date::current_zone();
    return Zone(zone, std::string(zone->name()), 0);
  } catch (const std::runtime_error&) {
    return Zone();
  }
}

ZoneOffsets::ZoneOffsets(const Zone& zone) : zone_(zone) {}

bool ZoneOffsets::InSpanLocal(int64_t local) const {
  return InSpanUtc(local - span_.offset) &&
         local - std::max(span_.offset, span_.offsetBefore) >= span_.from;
}

int64_t ZoneOffsets::OffsetAt(int64_t utc) const {
  const int64_t shift = StandInFor(utc).shift;
  return SecondsOf(zone_.zone_->get_info(SysSeconds(utc - shift)).offset);
}

void ZoneOffsets::FindSpanAt(int64_t utc) {
  const StandInYear standIn = StandInFor(utc);
  const date::sys_info info = zone_.zone_->get_info(SysSeconds(utc - standIn.shift));
  span_.from = SecondsOf(info.begin.time_since_epoch()) + standIn.shift;
  span_.to = SecondsOf(info.end.time_since_epoch()) + standIn.shift;
  span_.offset = SecondsOf(info.offset);
  // A stand-in year's span holds within that year alone; a listed span
  // only up to the stand-ins.
  if (standIn.shift != 0) {
    span_.from = std::max(span_.from, standIn.yearStart);
    span_.to = std::min(span_.to, standIn.nextYearStart);
  } else {
    span_.to = std::min(span_.to, ListedYearsEnd());
  }
  span_.offsetBefore = span_.from > kNoEarlierSpan ? OffsetAt(span_.from - 1) : span_.offset;
  known_ = true;
}

int64_t ZoneOffsets::UtcFromLocal(int64_t local) {
  if (zone_.zone_ == nullptr)
    return local - zone_.fixedOffset_;
  if (known_ && InSpanLocal(local))
    return local - span_.offset;
  // In a gap `first` is the span before it; of a repeated hour, the
  // earlier span.
  const int64_t shift = StandInFor(local).shift;
  const date::local_info info =
      zone_.zone_->get_info(date::local_seconds{std::chrono::seconds{local - shift}});
  const int64_t utc = local - SecondsOf(info.first.offset);
  FindSpanAt(utc);
  return utc;
}

int64_t ZoneOffsets::LocalFromUtc(int64_t utc) {
  if (zone_.zone_ == nullptr)
    return utc + zone_.fixedOffset_;
  if (!known_ || !InSpanUtc(utc))
    FindSpanAt(utc);
  return utc + span_.offset;
}
