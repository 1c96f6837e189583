#include "expr/SystemVariables.h"

#include <cstdio>
#include <string_view>

#include "platform/Clock.h"
#include "util/DateTime.h"
#include "util/DateTimeFormat.h"

namespace meldrix {

namespace {

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

}  // namespace

bool ReadSystemVariable(const std::string& name, std::string& value) {
  static constexpr std::string_view kNames[] = {"$TIME", "$HOUR",    "$MINUTE", "$SECOND", "$DATE",
                                                "$DAY",  "$WEEKDAY", "$WEEK",   "$MONTH",  "$YEAR"};
  bool known = false;
  for (std::string_view n : kNames) known = known || n == name;
  if (!known) return false;

  // The time is taken once per read.
  const std::int64_t now = CurrentClockTime();
  if (name == "$TIME") {
    value = FormatClockTimeLocal(now, kDtTime2 | kDtTime);
    return true;
  }
  if (name == "$DATE") {
    value = FormatClockTimeLocal(now, kDtDate);
    return true;
  }
  if (name == "$WEEK") {
    value = TwoDigits(IsoWeekNumber(now));
    return true;
  }
  auto fields = DateTime::FromLocalSeconds(UtcToLocalSeconds(now)).Fields();
  if (!fields) {
    value.clear();
    return true;
  }
  if (name == "$HOUR") value = TwoDigits(fields->hour);
  else if (name == "$MINUTE") value = TwoDigits(fields->minute);
  else if (name == "$SECOND") value = TwoDigits(fields->second);
  else if (name == "$DAY") value = TwoDigits(fields->day);
  else if (name == "$WEEKDAY") value = std::to_string((fields->dayOfWeek + 5) % 7);  // Monday 0
  else if (name == "$MONTH") value = TwoDigits(fields->month);
  else value = TwoDigits(fields->year);
  return true;
}

}  // namespace meldrix
