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

TEST(Filter, LeftTriggerIsAnchoredMidTriggersOccurLiterallyCaseFoldsInWindows1252) {
  struct Row { CMessage message; std::string text; bool matches; };
  const Row rows[] = {
      {Make("AL?RM"), "ALARM 12", true}, {Make("AL?RM"), "ALxRM", true}, {Make("AL?RM"), "ALRM", false},
      {Make("AL?RM"), " ALARM", false}, {Make("AB"), "A", false}, {Make("????"), "\x01\xFF\x80 ", true},
      {Make("????"), "abc", false},
      {Make("fire", "", "", "", 0), "FIRE hall 2", true}, {Make("fire"), "FIRE hall 2", false},
      {Make("t\xFCr", "\xE4", "", "", 0), "T\xDCR offen \xE4", true}, {Make("T\xDCR"), "T\xFCR", false},
      {Make("", "12", "B"), "A12B", true}, {Make("", "12", "B", "x"), "A12B", false},
      {Make("", "a?c"), "xa?cx", true}, {Make("", "a?c"), "xabcx", false}, {Make(""), "", true},
      {Make(""), "anything at all", true}, {Make("A", "", "", "C"), "ABC", true},
      {Make("", "ALARM", "", "", 0), "fire alarm", true},
      // Escapes decode and never act as wildcards.
      {Make("\\x41B"), "ABC", true}, {Make("a\\?"), "a?", true}, {Make("a\\?"), "ab", false},
      {Make("\\x3F"), "x", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.message.Matches(row.text), row.matches)
        << row.message.m_LeftTrigger << "|" << row.message.m_MidTrigger[0] << " on " << row.text;
}

TEST(Filter, EscapesDecode) {
  const std::pair<const char*, std::string> rows[] = {
      {"\\x41B", "AB"}, {"\\101B", "AB"}, {"a\\?", "a?"}, {"\\n\\r\\t\\v\\a\\b\\f\\\\", "\n\r\t\v\a\b\f\\"},
      {"\\x3F", "?"}, {"end\\", "end "},  // a trailing backslash is a blank
      {"\\q\\4", "q4"}, {"\\377x", "\xFFx"},
      // At the very end of the filter the number is still decoded.
      {"\\x41", "A"}, {"\\x4", "\x04"}, {"\\0", std::string(1, '\0')},
      // The two characters after the "x" (or the first octal digit) are consumed.
      {"\\x4Zq", "\x04q"}, {"\\19q", "\x01"}, {"\\xZZ", "xZZ"},
  };
  for (const auto& [filter, prepared] : rows) EXPECT_EQ(Make(filter).m_PreparedLeftTrigger, prepared) << filter;
  // Escapes are upper-cased with the rest without case sensitivity.
  EXPECT_EQ(Make("\\x61?", "\\x62", "", "", 0).m_PreparedLeftTrigger, "A?");
  EXPECT_EQ(Make("\\x61?", "\\x62", "", "", 0).m_PreparedMidTrigger[0], "B");
  const PreparedFilter f = PrepareFilter("?\\x41?\\n", true);
  EXPECT_EQ(f.text, "?A?\n");
  EXPECT_EQ(f.mask, "0101");  // the mask stays aligned with the text
}

}  // namespace
