#include "util/StringTable.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(StringTable, EveryIdHasAllThreeLanguages) {
  std::string problems;
  EXPECT_TRUE(CheckStringTables(&problems)) << problems;
}

TEST(StringTable, LanguageFollowsTheSettingAndTextsAreWindows1252) {
  SetUiLanguage(0);
  EXPECT_EQ(LoadText("IDS_TOTAL_ERRORS"), "Fehler gesamt");
  SetUiLanguage(2);
  EXPECT_EQ(LoadText("IDS_READY"), "Pr\xEAt");  // UTF-8 in the file, Windows-1252 out
  SetUiLanguage(7);  // no resources for this index: the language stays
  EXPECT_EQ(CurrentUiLanguage(), UiLanguage::French);
  SetUiLanguage(1);
  EXPECT_EQ(LoadText("IDS_TOTAL_ERRORS"), "Total Errors");
  EXPECT_EQ(LoadText("IDS_NO_SUCH_TEXT"), "IDS_NO_SUCH_TEXT");
}
