#include "util/DateTime.h"
#include "util/DateTimeFormat.h"

#include <time.h>

#include <vector>

#include "DateTimeTestSupport.h"

using namespace meldrix;
using namespace meldrix::testing;

TEST(DateTime, DaysSince1899AndFields) {
  EXPECT_EQ(DateTime(1899, 12, 30).Days(), 0.0);
  EXPECT_EQ(DateTime(1970, 1, 1).Days(), 25569.0);
  EXPECT_DOUBLE_EQ(DateTime(2020, 1, 31, 18, 0, 0).Days(), 43861.75);
  // Before the epoch the day part is negative and the time part positive.
  EXPECT_DOUBLE_EQ(DateTime(1899, 12, 29, 6, 0, 0).Days(), -1.25);
  EXPECT_EQ(Show(DateTime(-1.25)), "1899-12-29 06:00:00");
  EXPECT_EQ(Show(DateTime(43861.75)), "2020-01-31 18:00:00");
  const DateTime v(2020, 2, 29, 23, 59, 59);
  EXPECT_EQ(std::vector<int>({v.Year(), v.Month(), v.Day(), v.Hour(), v.Minute(), v.Second()}),
            std::vector<int>({2020, 2, 29, 23, 59, 59}));
  EXPECT_EQ(v.DayOfWeek(), 7);  // Saturday
  EXPECT_EQ(DateTime(2021, 1, 3).DayOfWeek(), 1);  // Sunday
  // A time a hair below a whole second rounds up, also across midnight.
  EXPECT_EQ(Show(DateTime(43861.0 - 1e-9)), "2020-01-31 00:00:00");
}

TEST(DateTime, InvalidFieldsAndRange) {
  const DateTime invalid[] = {DateTime(2021, 2, 29), DateTime(2020, 13, 1), DateTime(2020, 1, 1, 24, 0, 0),
                              DateTime(2020, 1, 1, 0, 60, 0), DateTime(99, 12, 31), DateTime(10000, 1, 1),
                              DateTime(1e9)};
  for (size_t i = 0; i < std::size(invalid); ++i) EXPECT_FALSE(invalid[i].IsValid()) << i;
  EXPECT_EQ(DateTime(2021, 2, 29).Year(), -1);
  EXPECT_EQ(DateTime::Null().GetStatus(), DateTime::Status::Null);
  // Both ends of the supported years with a time of day: before 1899 the time
  // makes the stored value more negative than the day itself.
  const std::pair<DateTime, const char*> ends[] = {
      {DateTime(100, 1, 1), "0100-01-01 00:00:00"}, {DateTime(100, 1, 1, 0, 0, 1), "0100-01-01 00:00:01"},
      {DateTime(100, 1, 1, 23, 59, 59), "0100-01-01 23:59:59"}, {DateTime(100, 1, 2, 6, 0, 0), "0100-01-02 06:00:00"},
      {DateTime(100, 1, 1) + DateTimeSpan(0.5), "0100-01-01 12:00:00"},
      {DateTime(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"}};
  for (const auto& [value, text] : ends) {
    EXPECT_EQ(FormatDateTime("%Y-%m-%d %H:%M:%S", value), text);
    EXPECT_TRUE(value.ToLocalSeconds().has_value()) << text;
  }
  EXPECT_FALSE(DateTime(DateTime(100, 1, 1, 12, 0, 0).Days() - 1.0).IsValid());
  // Moving past the supported years makes the value invalid, not garbage.
  EXPECT_FALSE((DateTime(9999, 12, 31) + DateTimeSpan(2.0)).IsValid());
  EXPECT_FALSE((DateTime(100, 1, 1) - DateTimeSpan(0, 0, 0, 1)).IsValid());
}

TEST(DateTime, SpansMoveValuesAcrossTheEpoch) {
  const DateTimeSpan span(1, 2, 30, 15);
  EXPECT_DOUBLE_EQ((-span).TotalSeconds(), -(86400 + 2 * 3600 + 30 * 60 + 15));
  EXPECT_EQ(std::vector<std::string>({Show(DateTime(2020, 1, 31, 23, 0, 0) + DateTimeSpan(0, 2, 0, 0)),
                                      Show(DateTime(1899, 12, 30, 3, 0, 0) - DateTimeSpan(0, 6, 0, 0)),
                                      Show(DateTime(1899, 12, 29, 21, 0, 0) + DateTimeSpan(0, 6, 0, 0))}),
            std::vector<std::string>({"2020-02-01 01:00:00", "1899-12-29 21:00:00", "1899-12-30 03:00:00"}));
  const DateTimeSpan diff = DateTime(1900, 1, 1) - DateTime(1899, 12, 29, 12, 0, 0);
  EXPECT_DOUBLE_EQ(diff.TotalDays(), 2.5);
  // Many small steps still land on the whole second.
  DateTime t(2024, 1, 1);
  for (int i = 0; i < 3600; ++i) t += DateTimeSpan(0, 0, 0, 1);
  EXPECT_EQ(Show(t), "2024-01-01 01:00:00");
  EXPECT_TRUE(t == DateTime(2024, 1, 1, 1, 0, 0));
  EXPECT_TRUE(DateTime(1899, 12, 29, 6, 0, 0) < DateTime(1899, 12, 29, 7, 0, 0));
}

TEST_F(FixedTimeTest, ClockGivesLocalTimeInTheFixedZone) {
  EXPECT_EQ(Show(DateTime::Now()), "2024-05-15 12:20:30");
  EXPECT_EQ(*DateTime(1970, 1, 2, 0, 0, 1).ToLocalSeconds(), 86401);
  EXPECT_EQ(Show(DateTime::FromLocalSeconds(-1)), "1969-12-31 23:59:59");
}

TEST(Clock, SystemClockFollowsTheEnvironmentZone) {
  SystemClock clock;
  const std::int64_t now = clock.NowUtcSeconds();
  EXPECT_GT(now, UtcSeconds(2020, 1, 1));
  const time_t t = static_cast<time_t>(now);
  struct tm local {};
  ASSERT_NE(localtime_r(&t, &local), nullptr);
  EXPECT_EQ(clock.UtcOffsetSeconds(now), local.tm_gmtoff);
}
