#include "util/TextFields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace meldrix;
using ::testing::ElementsAre;

namespace {
std::vector<std::string> Split(std::string_view text, char sep, bool quotes) {
  std::vector<std::string> fields;
  const size_t n = SplitFields(text, fields, sep, quotes);
  EXPECT_EQ(n, fields.size());
  return fields;
}
}  // namespace

TEST(SplitFields, TrailingSeparatorGivesEmptyLastField) {
  EXPECT_THAT(Split("a;b;", ';', false), ElementsAre("a", "b", ""));
  EXPECT_THAT(Split(";", ';', false), ElementsAre("", ""));
  EXPECT_THAT(Split("abc", ';', false), ElementsAre("abc"));
  EXPECT_TRUE(Split("", ';', true).empty());
}

TEST(SplitFields, QuotedSeparatorDoesNotSplit) {
  EXPECT_THAT(Split("x;\"y;z\"", ';', true), ElementsAre("x", "y;z"));
  // Without the quote flag the quotes are ordinary characters.
  EXPECT_THAT(Split("x;\"y;z\"", ';', false), ElementsAre("x", "\"y", "z\""));
  // A quote opens a stretch at any position, and only one quote is stripped per end.
  EXPECT_THAT(Split("a\"b;c\"d;\"\"e\"\"", ';', true), ElementsAre("a\"b;c\"d", "\"e\""));
  // A lone quote is removed once, not twice.
  EXPECT_THAT(Split("\";x", ';', true), ElementsAre(";x"));
}

TEST(SplitFields, UnterminatedQuoteRunsToTheEndWithoutLosingText) {
  EXPECT_THAT(Split("a;\"b;c;d", ';', true), ElementsAre("a", "b;c;d"));
}

TEST(SplitFields, AppendsToExistingFieldsAndCountsOnlyNewOnes) {
  std::vector<std::string> fields{"old"};
  EXPECT_EQ(SplitFields("p;q", fields, ';', false), 2u);
  EXPECT_THAT(fields, ElementsAre("old", "p", "q"));
  EXPECT_EQ(SplitFields("", fields, ';', false), 0u);
  EXPECT_EQ(fields.size(), 3u);
}

TEST(SplitFields, NulBytesAreOrdinaryCharactersOrSeparators) {
  const std::string text("a\0b;c", 5);
  EXPECT_THAT(Split(text, ';', false), ElementsAre(std::string("a\0b", 3), "c"));
  EXPECT_THAT(Split(text, '\0', false), ElementsAre("a", "b;c"));
}

TEST(SplitFieldsBy, MultiCharacterSeparator) {
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFieldsBy("l1\r\nl2\r\n\"q\r\nq\"\r\nend\r", fields, "\r\n", true), 4u);
  EXPECT_THAT(fields, ElementsAre("l1", "l2", "q\r\nq", "end\r"));
  fields.clear();
  // Overlapping candidates: the scan resumes behind the whole separator.
  EXPECT_EQ(SplitFieldsBy("a---b", fields, "--", false), 2u);
  EXPECT_THAT(fields, ElementsAre("a", "-b"));
}

TEST(SplitFieldsBy, EmptySeparatorGivesTheWholeText) {
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFieldsBy("\"a;b\"", fields, "", true), 1u);
  EXPECT_THAT(fields, ElementsAre("a;b"));
}

TEST(SplitFields, HugeFieldCountIsLinear) {
  const std::string text(1'000'000, ';');
  std::vector<std::string> fields;
  EXPECT_EQ(SplitFields(text, fields, ';', true), 1'000'001u);
  EXPECT_EQ(GetField(text, 1'000'001, ';', true), "");
  EXPECT_EQ(GetField(text + "last", 1'000'001, ';', true), "last");
}

TEST(GetField, CommaFallsBackToSemicolon) {
  EXPECT_EQ(GetField("a;b;c", 2, ',', false), "b");
  EXPECT_EQ(GetField("a,b;c", 2, ',', false), "b;c");
  EXPECT_EQ(GetField("\"x,y\",z", 1, ',', true), "x,y");
  EXPECT_EQ(GetField("a,b", 3, ',', true), "");
  EXPECT_EQ(GetField("a,b", 0, ',', true), "");
  EXPECT_EQ(GetField("a,b", -1, ',', true), "");
  EXPECT_EQ(GetField("a|b|", 3, '|', true), "");
  EXPECT_EQ(GetField("a|b|", 2, '|', true), "b");
  // Doubled quotes inside stay; only one is removed at each end.
  EXPECT_EQ(GetField("\"\"x\"\";y", 1, ';', true), "\"x\"");
}

TEST(JoinFields, QuotesFieldsHoldingTheSeparator) {
  EXPECT_EQ(JoinFields({"a;b", "c"}, ";", true), "\"a;b\";c");
  EXPECT_EQ(JoinFields({"a;\"b", "c"}, ";", true), "'a;\"b';c");
  EXPECT_EQ(JoinFields({"a;b", "c"}, ";", false), "a;b;c");
  EXPECT_EQ(JoinFields({"x", "", "y"}, ", ", true), "x, , y");
  EXPECT_EQ(JoinFields({}, ";", true), "");
  EXPECT_EQ(JoinFields({"a", "b"}, "", true), "ab");
}

TEST(JoinFields, RoundTripThroughSplit) {
  const std::vector<std::string> fields{"1", "Fire; hall 3", "", "2026-12-06"};
  std::vector<std::string> back;
  SplitFields(JoinFields(fields, ";", true), back, ';', true);
  EXPECT_EQ(back, fields);
}
