#include "engine/Filter.h"

#include <gtest/gtest.h>

#include "engine/Message.h"

using namespace meldrix;

namespace {

CMessage Make(std::string left, std::string mid1 = "", std::string mid2 = "", std::string mid3 = "",
              int caseSensitive = 1) {
  CMessage m;
  m.m_LeftTrigger = std::move(left);
  m.m_MidTrigger[0] = std::move(mid1);
  m.m_MidTrigger[1] = std::move(mid2);
  m.m_MidTrigger[2] = std::move(mid3);
  m.m_CaseSensitive = caseSensitive;
  m.PrepareFilters();
  return m;
}

TEST(Filter, LeftTriggerIsAnchoredWithSingleCharacterWildcards) {
  const CMessage alarm = Make("AL?RM");
  EXPECT_EQ(alarm.m_PreparedLeftTrigger, "AL?RM");
  EXPECT_EQ(alarm.m_LeftTriggerMask, "11011");
  EXPECT_TRUE(alarm.Matches("ALARM 12"));
  EXPECT_TRUE(alarm.Matches("ALxRM"));
  EXPECT_FALSE(alarm.Matches("ALRM"));
  EXPECT_FALSE(alarm.Matches(" ALARM"));
  EXPECT_FALSE(Make("AB").Matches("A"));
  EXPECT_TRUE(Make("????").Matches("\x01\xFF\x80 "));
  EXPECT_FALSE(Make("????").Matches("abc"));
}

TEST(Filter, CaseFoldingUsesWindows1252) {
  EXPECT_TRUE(Make("fire", "", "", "", 0).Matches("FIRE hall 2"));
  EXPECT_FALSE(Make("fire", "", "", "", 1).Matches("FIRE hall 2"));
  const CMessage door = Make("t\xFCr", "\xE4", "", "", 0);
  EXPECT_EQ(door.m_PreparedLeftTrigger, "T\xDCR");
  EXPECT_EQ(door.m_PreparedMidTrigger[0], "\xC4");
  EXPECT_TRUE(door.Matches("T\xDCR offen \xE4"));
  EXPECT_FALSE(Make("T\xDCR").Matches("T\xFCR"));
}

TEST(Filter, MidTriggersMustAllOccurLiterally) {
  EXPECT_TRUE(Make("", "12", "B").Matches("A12B"));
  EXPECT_FALSE(Make("", "12", "B", "x").Matches("A12B"));
  EXPECT_TRUE(Make("", "a?c").Matches("xa?cx"));
  EXPECT_FALSE(Make("", "a?c").Matches("xabcx"));
  EXPECT_TRUE(Make("").Matches(""));
  EXPECT_TRUE(Make("").Matches("anything at all"));
  EXPECT_TRUE(Make("A", "", "", "C").Matches("ABC"));
  EXPECT_TRUE(Make("", "ALARM", "", "", 0).Matches("fire alarm"));
}

TEST(Filter, EscapesDecodeAndNeverActAsWildcards) {
  EXPECT_EQ(Make("\\x41B").m_PreparedLeftTrigger, "AB");
  EXPECT_EQ(Make("\\101B").m_PreparedLeftTrigger, "AB");
  EXPECT_TRUE(Make("\\x41B").Matches("ABC"));
  const CMessage literal = Make("a\\?");
  EXPECT_EQ(literal.m_LeftTriggerMask, "11");
  EXPECT_TRUE(literal.Matches("a?"));
  EXPECT_FALSE(literal.Matches("ab"));
  EXPECT_EQ(Make("\\n\\r\\t\\v\\a\\b\\f\\\\").m_PreparedLeftTrigger, "\n\r\t\v\a\b\f\\");
  EXPECT_EQ(Make("\\x3F").m_PreparedLeftTrigger, "?");  // decoded '?' is literal
  EXPECT_EQ(Make("\\x3F").m_LeftTriggerMask, "1");
  EXPECT_FALSE(Make("\\x3F").Matches("x"));
  EXPECT_EQ(Make("end\\").m_PreparedLeftTrigger, "end ");  // trailing backslash is a blank
  EXPECT_EQ(Make("\\q\\4").m_PreparedLeftTrigger, "q4");
  // At the very end of the filter the number is still decoded.
  EXPECT_EQ(Make("\\x41").m_PreparedLeftTrigger, "A");
  EXPECT_EQ(Make("\\x4").m_PreparedLeftTrigger, std::string("\x04"));
  EXPECT_EQ(Make("\\0").m_PreparedLeftTrigger, std::string(1, '\0'));
  EXPECT_EQ(Make("\\377x").m_PreparedLeftTrigger, "\xFFx");
  // The two characters after the "x" (or the first octal digit) are consumed.
  EXPECT_EQ(Make("\\x4Zq").m_PreparedLeftTrigger, "\x04q");
  EXPECT_EQ(Make("\\19q").m_PreparedLeftTrigger, "\x01");
  EXPECT_EQ(Make("\\xZZ").m_PreparedLeftTrigger, "xZZ");
  // Escapes are upper-cased with the rest without case sensitivity.
  EXPECT_EQ(Make("\\x61?", "\\x62", "", "", 0).m_PreparedLeftTrigger, "A?");
  EXPECT_EQ(Make("\\x61?", "\\x62", "", "", 0).m_PreparedMidTrigger[0], "B");
  // A '?' in a MidTrigger is no wildcard, an escaped one neither.
  EXPECT_EQ(Make("", "a\\?c").m_PreparedMidTrigger[0], "a?c");
}

TEST(Filter, PrepareFilterKeepsMaskAlignedWithText) {
  const PreparedFilter f = PrepareFilter("?\\x41?\\n", true);
  EXPECT_EQ(f.text, "?A?\n");
  EXPECT_EQ(f.mask, "0101");
  const PreparedFilter noWildcards = PrepareFilter("a?b", false, false);
  EXPECT_EQ(noWildcards.text, "A?B");
  EXPECT_EQ(noWildcards.mask, "111");
}

}  // namespace
