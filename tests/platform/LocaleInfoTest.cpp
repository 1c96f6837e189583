#include "platform/Env.h"
#include "platform/LocaleInfo.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(LocaleInfo, PosixPicturesBecomeWindowsPictures) {
  const std::pair<const char*, const char*> rows[] = {
      {"%d.%m.%Y", "dd.MM.yyyy"}, {"%H:%M:%S", "HH:mm:ss"}, {"%I:%M:%S %p", "hh:mm:ss tt"}, {"%Ey/%m/%d", "yy/MM/dd"}};
  for (const auto& [posix, windows] : rows) EXPECT_EQ(PosixPictureToWindows(posix), windows) << posix;
  EXPECT_FALSE(UserLocale().ShortDatePicture().empty());  // the environment's POSIX locale
  ScopedEnv german(Env{.locale = FixedLocaleInfo::German()});
  EXPECT_EQ(UserLocale().AbbrevDayName(2), "Mo");
  EXPECT_EQ(UserLocale().AbbrevDayName(8), "");  // out of range
}

TEST(LocaleInfo, MonthAndDayNamesWithEnglishFallback) {
  // A locale that names no months gets the English ones.
  const auto english = FixedLocaleInfo::English();
  EXPECT_EQ(english->MonthName(13), "");
  EXPECT_EQ(english->MonthName(9), "September");
  EXPECT_EQ(english->AbbrevMonthName(9), "Sep");
  EXPECT_EQ(english->DayName(4), "Wednesday");
  // The environment's locale supplies all twelve months.
  const PosixLocaleInfo posix;
  for (int m = 1; m <= 12; ++m) EXPECT_FALSE(posix.MonthName(m).empty()) << m;
}
