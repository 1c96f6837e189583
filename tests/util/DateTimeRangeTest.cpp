#include <gtest/gtest.h>

#include "util/DateTime.h"
#include "util/DateTimeFormat.h"

namespace meldrix {
namespace {

constexpr char kFull[] = "%Y-%m-%d %H:%M:%S";

// Both ends of the supported years, with and without a time of day: before
// 1899 the time makes the stored value more negative than the day itself.
TEST(DateTimeRange, FirstAndLastDayFormatWithTheirTime) {
  const struct {
    DateTime value;
    const char* text;
  } cases[] = {
      {DateTime(100, 1, 1), "0100-01-01 00:00:00"},
      {DateTime(100, 1, 1, 0, 0, 1), "0100-01-01 00:00:01"},
      {DateTime(100, 1, 1, 12, 30, 0), "0100-01-01 12:30:00"},
      {DateTime(100, 1, 1, 23, 59, 59), "0100-01-01 23:59:59"},
      {DateTime(100, 1, 2, 6, 0, 0), "0100-01-02 06:00:00"},
      {DateTime(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.value.IsValid()) << c.text;
    EXPECT_EQ(FormatDateTime(kFull, c.value), c.text);
    ASSERT_TRUE(c.value.ToLocalSeconds().has_value()) << c.text;
  }
  EXPECT_EQ(DateTime(100, 1, 1, 18, 0, 0).Hour(), 18);
  EXPECT_EQ(DateTime(100, 1, 1, 18, 0, 0).Year(), 100);
}

TEST(DateTimeRange, StepsAcrossTheLowerBound) {
  const DateTime first(100, 1, 1);
  const DateTime noon = first + DateTimeSpan(0.5);
  ASSERT_TRUE(noon.IsValid());
  EXPECT_EQ(FormatDateTime(kFull, noon), "0100-01-01 12:00:00");
  EXPECT_DOUBLE_EQ((noon - first).TotalDays(), 0.5);
  EXPECT_FALSE((first - DateTimeSpan(0, 0, 0, 1)).IsValid());
  // The stored form of 1 January 100, 12:00 is valid; one day earlier is not.
  EXPECT_TRUE(DateTime(noon.Days()).IsValid());
  EXPECT_FALSE(DateTime(noon.Days() - 1.0).IsValid());
}

}  // namespace
}  // namespace meldrix
