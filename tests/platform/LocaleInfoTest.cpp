#include "platform/LocaleInfo.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(LocaleInfo, PosixPicturesBecomeWindowsPictures) {
  EXPECT_EQ(PosixPictureToWindows("%d.%m.%Y"), "dd.MM.yyyy");
  EXPECT_EQ(PosixPictureToWindows("%H:%M:%S"), "HH:mm:ss");
  EXPECT_EQ(PosixPictureToWindows("%I:%M:%S %p"), "hh:mm:ss tt");
  EXPECT_EQ(PosixPictureToWindows("%Ey/%m/%d"), "yy/MM/dd");
}

TEST(LocaleInfo, InjectedLocaleIsUsed) {
  SetUserLocale(FixedLocaleInfo::German());
  EXPECT_EQ(UserLocale().DecimalSeparator(), ",");
  EXPECT_EQ(UserLocale().AbbrevDayName(2), "Mo");
  EXPECT_EQ(UserLocale().AbbrevDayName(8), "");
  SetUserLocale(std::make_shared<PosixLocaleInfo>());
  EXPECT_FALSE(UserLocale().ShortDatePicture().empty());
}
