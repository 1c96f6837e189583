#include "platform/Env.h"
#include "util/DateTimeFormat.h"

#include <time.h>

#include "DateTimeTestSupport.h"

using namespace meldrix;
using namespace meldrix::testing;

TEST(FormatDateTime, LetterTable) {
  const DateTime v(2020, 1, 5, 13, 5, 9);  // a Sunday
  const std::pair<std::string, std::string> rows[] = {  // result, expected
      {FormatDateTime("DT#%Y-%m-%d-%H:%M:%S", v), "DT#2020-01-05-13:05:09"},
      {FormatDateTime("%d.%m.%y %I %w", v), "05.01.20 01 0"}, {FormatDateTime("%Q%%x%", v), "Q%x%"},
      {FormatDateTime("[%a%A%b%B%c%j%p%x%X%z%Z]", v), "[]"},
      {FormatDateTime("%I", DateTime(2020, 1, 5, 0, 30, 0)), "12"},
      {FormatDateTime("%I", DateTime(2020, 1, 5, 12, 30, 0)), "12"},
      {FormatDateTime("%s", DateTime(43861.5 + 0.25 / 86400)), "250"},
      {FormatDateTime("%Y", DateTime(100, 1, 1)), "0100"},
      {FormatDateTime("%Y", DateTime::Invalid()), ""}};
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

// %U + 1, %W and the ISO week against the C library over many years.
TEST(FormatDateTime, WeekNumbersMatchStrftime) {
  for (std::int64_t day = UtcSeconds(1995, 12, 1) / 86400; day < UtcSeconds(2031, 2, 1) / 86400; ++day) {
    const time_t t = static_cast<time_t>(day * 86400);
    struct tm tm {};
    gmtime_r(&t, &tm);
    char u[8], w[8], iso[8];
    strftime(u, sizeof u, "%U", &tm);
    strftime(w, sizeof w, "%W", &tm);
    strftime(iso, sizeof iso, "%V", &tm);
    char expected[24];
    std::snprintf(expected, sizeof expected, "%02d %s", std::atoi(u) + 1, w);
    const DateTime v = DateTime::FromLocalSeconds(day * 86400);
    ASSERT_EQ(FormatDateTime("%U %W", v), expected) << Show(v);
    ASSERT_EQ(IsoWeekNumber(v), std::atoi(iso)) << Show(v);
  }
}

using FormatLocalTest = FixedTimeTest;

TEST_F(FormatLocalTest, PiecesInTheGermanLocale) {
  const DateTime v(2020, 1, 31, 13, 5, 9);  // a Friday, week 5
  const std::pair<unsigned, const char*> rows[] = {
      {0x07, "31.01.2020"}, {0x60, "13:05"}, {0xE7, "31.01.2020 13:05:09"}, {0xFF, "Fr (05) 31.01.2020 13:05:09"},
      {0x06, "31.01"}, {0x03, "01.2020"}, {0x80, "13:05:09"}};  // without year, without day
  for (const auto& [pieces, text] : rows) EXPECT_EQ(FormatDateTimeLocal(v, pieces), text) << pieces;
  // The value 0 serves only for time pieces.
  EXPECT_EQ(FormatDateTimeLocal(DateTime(0.0), 0x07), "");
  EXPECT_EQ(FormatDateTimeLocal(DateTime(0.0), 0x60), "00:00");
  EXPECT_EQ(FormatDateTimeLocal(DateTime(2021, 2, 29), 0x60), "");
  EXPECT_EQ(FormatDateTimeLocal(DateTime::Null(), 0x60), "");
  // Clock time shows in the fixed zone (UTC+2).
  EXPECT_EQ(FormatClockTimeLocal(UtcSeconds(2020, 12, 31, 23, 30, 0), 0xEF),
            "(53) 01.01.2021 01:30:00");
  EXPECT_EQ(IsoWeekNumber(UtcSeconds(2020, 12, 31, 23, 30, 0)), 53);
}

TEST_F(FormatLocalTest, PiecesInAnEnglishTwelveHourLocale) {
  ScopedEnv us(Env{.locale = std::make_shared<FixedLocaleInfo>(
                      ".", "M/d/yyyy", "h:mm:ss tt",
                      std::array<std::string, 7>{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}, "AM", "PM")});
  const DateTime v(2020, 1, 5, 0, 7, 9);
  EXPECT_EQ(FormatDateTimeLocal(v, 0xF7), "Sun 1/5/2020 12:07:09 AM");
  EXPECT_EQ(FormatDateTimeLocal(v, 0x60), "12:07 AM");
  ScopedEnv english(Env{.locale = FixedLocaleInfo::English()});
  EXPECT_EQ(FormatDateTimeLocal(DateTime(2020, 3, 9, 17, 0, 0), 0xE7), "09/03/2020 17:00:00");
}

TEST_F(FormatLocalTest, Pictures) {
  const DateTimeFields f = *DateTime(2020, 3, 9, 17, 4, 2).Fields();
  EXPECT_EQ(FormatDatePicture("dddd, d. MMMM yy 'um' MMM", f), "Montag, 9. M\xE4rz 20 um M\xE4r");
  EXPECT_EQ(FormatDatePicture("y", f), "20");
  EXPECT_EQ(FormatTimePicture("H.m.s", f, true), "17.4.2");
  EXPECT_EQ(FormatTimePicture("HH:mm:ss 'Uhr'", f, false), "17:04 Uhr");
}
