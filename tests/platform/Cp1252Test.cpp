#include "platform/Cp1252.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(Cp1252, CaseTablesUtf8AndUtf16) {
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  const std::pair<std::string, std::string> rows[] = {  // result, expected
      {Cp1252Upper("t\xFCr \xE4\xF6 abc"), "T\xDCR \xC4\xD6 ABC"},
      {Cp1252Lower("\xDC\xC4\xD6XYZ\x8A\x9F"), "\xFC\xE4\xF6xyz\x9A\xFF"},
      // Multiplication and division signs and sharp s have no case partner.
      {Cp1252Upper("\xF7\xDF"), "\xF7\xDF"}, {Cp1252Lower("\xD7"), "\xD7"},
      {Utf8ToCp1252(Cp1252ToUtf8(all)), all}, {Cp1252ToUtf8("T\xFCr \x80"), "T\xC3\xBCr \xE2\x82\xAC"},
      // Invalid UTF-8 is taken byte by byte, what Windows-1252 lacks becomes "?".
      {Utf8ToCp1252("a\xFF\xC3"), "a\xFF\xC3"}, {Utf8ToCp1252("\xE2\x98\x83"), "?"},
      {Utf8ToCp1252("\xEF\xBB\xBFx"), "x"},
      {Utf16ToCp1252(u"\u20AC\u00FC\u2603"), "\x80\xFC?"},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
  EXPECT_EQ(Cp1252ToUtf16("\x80" "a"), std::u16string(u"\u20ACa"));
  EXPECT_TRUE(EqualsNoCaseAscii("Settings", "SETTINGS"));
  EXPECT_FALSE(EqualsNoCaseAscii("\xE4", "\xC4"));
  EXPECT_TRUE(LooksLikeUtf8("T\xC3\xBCr"));
  EXPECT_FALSE(LooksLikeUtf8("plain"));
  EXPECT_FALSE(LooksLikeUtf8("T\xFCr"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
}
