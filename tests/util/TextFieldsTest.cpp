#include "util/TextFields.h"

#include <gtest/gtest.h>

using namespace meldrix;
using Fields = std::vector<std::string>;

TEST(SplitFields, QuotesSeparatorsAndEmptyFields) {
  struct Row { std::string text; char sep; bool quotes; Fields expected; };
  const Row rows[] = {
      {"a;b;", ';', false, {"a", "b", ""}}, {";", ';', false, {"", ""}}, {"abc", ';', false, {"abc"}},
      {"", ';', true, {}}, {"x;\"y;z\"", ';', true, {"x", "y;z"}},
      {"x;\"y;z\"", ';', false, {"x", "\"y", "z\""}},  // without the flag quotes are ordinary
      // A quote opens a stretch at any position, and only one quote is stripped per end.
      {"a\"b;c\"d;\"\"e\"\"", ';', true, {"a\"b;c\"d", "\"e\""}},
      {"\";x", ';', true, {";x"}},  // a lone quote is removed once, not twice
      {"a;\"b;c;d", ';', true, {"a", "b;c;d"}},  // unterminated: runs to the end, nothing lost
      {std::string("a\0b;c", 5), ';', false, {std::string("a\0b", 3), "c"}},
      {std::string("a\0b;c", 5), '\0', false, {"a", "b;c"}},
  };
  for (const Row& row : rows) {
    Fields fields{"old"};
    EXPECT_EQ(SplitFields(row.text, fields, row.sep, row.quotes), row.expected.size()) << row.text;
    fields.erase(fields.begin());  // appended behind what was there
    EXPECT_EQ(fields, row.expected) << row.text;
  }
}

TEST(SplitFieldsBy, MultiCharacterAndEmptySeparator) {
  Fields fields;
  EXPECT_EQ(SplitFieldsBy("l1\r\nl2\r\n\"q\r\nq\"\r\nend\r", fields, "\r\n", true), 4u);
  EXPECT_EQ(fields, (Fields{"l1", "l2", "q\r\nq", "end\r"}));
  fields.clear();
  // Overlapping candidates: the scan resumes behind the whole separator.
  EXPECT_EQ(SplitFieldsBy("a---b", fields, "--", false), 2u);
  EXPECT_EQ(fields, (Fields{"a", "-b"}));
  fields.clear();
  EXPECT_EQ(SplitFieldsBy("\"a;b\"", fields, "", true), 1u);
  EXPECT_EQ(fields, (Fields{"a;b"}));
}

TEST(SplitFields, HugeFieldCountIsLinear) {
  const std::string text(1'000'000, ';');
  Fields fields;
  EXPECT_EQ(SplitFields(text, fields, ';', true), 1'000'001u);
  EXPECT_EQ(GetField(text, 1'000'001, ';', true), "");
  EXPECT_EQ(GetField(text + "last", 1'000'001, ';', true), "last");
}

TEST(GetField, CommaFallsBackToSemicolon) {
  struct Row { const char* text; int index; char sep; bool quotes; const char* field; };
  for (const Row& row : {Row{"a;b;c", 2, ',', false, "b"}, Row{"a,b;c", 2, ',', false, "b;c"},
                         Row{"\"x,y\",z", 1, ',', true, "x,y"}, Row{"a,b", 3, ',', true, ""}, Row{"a,b", 0, ',', true, ""},
                         Row{"a,b", -1, ',', true, ""}, Row{"a|b|", 3, '|', true, ""}, Row{"a|b|", 2, '|', true, "b"},
                         // Doubled quotes inside stay; only one is removed at each end.
                         Row{"\"\"x\"\";y", 1, ';', true, "\"x\""}})
    EXPECT_EQ(GetField(row.text, row.index, row.sep, row.quotes), row.field) << row.text << " " << row.index;
}

TEST(JoinFields, QuotesFieldsHoldingTheSeparatorAndSplitsBack) {
  EXPECT_EQ(JoinFields({"a;b", "c"}, ";", true), "\"a;b\";c");
  EXPECT_EQ(JoinFields({"a;\"b", "c"}, ";", true), "'a;\"b';c");
  EXPECT_EQ(JoinFields({"a;b", "c"}, ";", false), "a;b;c");
  EXPECT_EQ(JoinFields({"x", "", "y"}, ", ", true), "x, , y");
  EXPECT_EQ(JoinFields({}, ";", true), "");
  EXPECT_EQ(JoinFields({"a", "b"}, "", true), "ab");
  const Fields fields{"1", "Fire; hall 3", "", "2026-12-06"};
  Fields back;
  SplitFields(JoinFields(fields, ";", true), back, ';', true);
  EXPECT_EQ(back, fields);
}
