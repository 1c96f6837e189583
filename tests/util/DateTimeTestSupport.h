// A fixed clock and locale for date/time tests: 15 May 2024 10:20:30 UTC in a
// zone two hours east of UTC (local 12:20:30), German locale.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/Env.h"
#include "platform/LocaleInfo.h"
#include "platform/Clock.h"
#include "util/DateTime.h"

namespace meldrix::testing {

inline std::int64_t UtcSeconds(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
  using namespace std::chrono;
  const sys_days day = year(y) / month(mo) / std::chrono::day(d);
  return day.time_since_epoch().count() * 86400LL + h * 3600 + mi * 60 + s;
}

inline constexpr int kZoneOffset = 2 * 3600;

class FixedTimeTest : public ::testing::Test {
 protected:
  ScopedEnv env_{Env{.locale = FixedLocaleInfo::German(),
                     .clock = std::make_shared<FixedClock>(UtcSeconds(2024, 5, 15, 10, 20, 30), kZoneOffset)}};
};

// "YYYY-MM-DD hh:mm:ss" of a value, or "invalid".
inline std::string Show(const DateTime& v) {
  const auto f = v.Fields();
  if (!f) return "invalid";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", f->year, f->month, f->day,
                f->hour, f->minute, f->second);
  return buf;
}

}  // namespace meldrix::testing
