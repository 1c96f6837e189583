#include <gtest/gtest.h>

#include <memory>

#include "platform/Env.h"
#include "ExprTestSupport.h"
#include "platform/LocaleInfo.h"
#include "platform/Clock.h"

namespace meldrix {
namespace {

using test::Eval;

class FixedTime : public ::testing::Test {
 protected:
  // Local time = UTC + offset.
  void At(std::int64_t utc, int offset = 0) {
    env_.emplace(Env{.locale = FixedLocaleInfo::German(), .clock = std::make_shared<FixedClock>(utc, offset)});
  }
  std::optional<ScopedEnv> env_;
};

TEST_F(FixedTime, SystemVariablesOfAMonday) {
  At(1557126489 - 7200, 7200);  // Monday 6 May 2019, 07:08:09 local
  CDataValueStorage store(false);
  EXPECT_EQ(Eval("CONCAT($YEAR, '-', $MONTH, '-', $DAY, ' ', $HOUR, ':', $MINUTE, ':', $SECOND)", store),
            "2019-05-06 07:08:09");
  EXPECT_EQ(Eval("CONCAT($WEEKDAY, ' ', $WEEK, ' ', $DATE, ' ', $TIME, ' ', DT#NOW)", store),
            "0 19 06.05.2019 07:08 DT#2019-05-06-07:08:09");
  // Other "$" names are map entries.
  store.Set("$WEEKDAYS", "x");
  EXPECT_EQ(Eval("$WEEKDAYS", store), "x");
  EXPECT_EQ(Eval("$weekday", store), "");
}

TEST_F(FixedTime, SundayIsSixAndWeekOne) {
  At(1557705599);  // Sunday 12 May 2019 23:59:59
  EXPECT_EQ(Eval("$WEEKDAY"), "6");
  At(1609502400);  // Friday 1 January 2021: ISO week 53 of 2020
  EXPECT_EQ(Eval("$WEEK"), "53");
  EXPECT_EQ(Eval("$WEEKDAY"), "4");
}

TEST_F(FixedTime, DateTimeArithmetic) {
  At(1557126489);
  const std::pair<const char*, const char*> rows[] = {
      {"DT#2019-01-01-00:00:00 + 86400", "DT#2019-01-02-00:00:00"},
      {"DT#2019-01-02-00:00:00 - DT#2019-01-01-00:00:00", "86400"},
      {"DT#2019-01-01-00:00:00 - DT#2019-01-02-00:00:01", "-86401"},
      {"DT#2019-12-31-23:59:59 + '1'", "DT#2020-01-01-00:00:00"},
      {"DT#2019-03-01-00:00:00 + -1", "DT#2019-02-28-23:59:59"},
      {"'DT#20190102030405' + 0", "DT#2019-01-02-03:04:05"}, {"DT#NOW - DT#2019-05-06-07:08:00", "9"},
      {"1 + DT#2019", "1"}};  // a DT text on the right only is an ordinary number
  for (const auto& [expression, result] : rows) EXPECT_EQ(Eval(expression), result) << expression;
}

}  // namespace
}  // namespace meldrix
