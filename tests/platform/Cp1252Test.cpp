#include "platform/Cp1252.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(Cp1252, CaseTablesCoverUmlautsAndSpecials) {
  EXPECT_EQ(Cp1252Upper("t\xFCr \xE4\xF6 abc"), "T\xDCR \xC4\xD6 ABC");
  EXPECT_EQ(Cp1252Lower("\xDC\xC4\xD6XYZ\x8A\x9F"), "\xFC\xE4\xF6xyz\x9A\xFF");
  // Multiplication and division signs and sharp s have no case partner.
  EXPECT_EQ(Cp1252Upper("\xF7\xDF"), "\xF7\xDF");
  EXPECT_EQ(Cp1252Lower("\xD7"), "\xD7");
  EXPECT_TRUE(EqualsNoCaseAscii("Settings", "SETTINGS"));
  EXPECT_FALSE(EqualsNoCaseAscii("\xE4", "\xC4"));
}

TEST(Cp1252, Utf8RoundTripKeepsEveryByte) {
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("T\xFCr \x80"), "T\xC3\xBCr \xE2\x82\xAC");
}

TEST(Cp1252, InvalidUtf8IsTakenByteByByteAndUnmappableBecomesQuestionMark) {
  EXPECT_EQ(Utf8ToCp1252("a\xFF\xC3"), "a\xFF\xC3");
  EXPECT_EQ(Utf8ToCp1252("\xE2\x98\x83"), "?");  // snowman
  EXPECT_EQ(Utf8ToCp1252("\xEF\xBB\xBFx"), "x");
  EXPECT_TRUE(LooksLikeUtf8("T\xC3\xBCr"));
  EXPECT_FALSE(LooksLikeUtf8("plain"));
  EXPECT_FALSE(LooksLikeUtf8("T\xFCr"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
}

TEST(Cp1252, Utf16) {
  EXPECT_EQ(Cp1252ToUtf16("\x80" "a"), std::u16string(u"\u20ACa"));
  EXPECT_EQ(Utf16ToCp1252(u"\u20AC\u00FC\u2603"), "\x80\xFC?");
}
