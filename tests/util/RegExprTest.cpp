#include "util/RegExpr.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "util/RegExprCompiler.h"

using namespace meldrix;

namespace {

std::string CompileError(const std::string& pattern) {
  CRegExpr re(pattern);
  EXPECT_FALSE(re.IsCompiled()) << pattern;
  return re.ErrorText();
}

}  // namespace

TEST(RegExpr, DdeAndOpcReferencesGiveTheirGroups) {
  CRegExpr dde("^DDE\\('([^']+)','([^']+)','([^']+)'\\)$");
  ASSERT_TRUE(dde.IsCompiled()) << dde.ErrorText();
  ASSERT_TRUE(dde.Match("DDE('a','b','c')"));
  EXPECT_EQ(dde.GroupCount(), 4);
  EXPECT_EQ(dde.GroupText(0) + dde.GroupText(1) + dde.GroupText(2) + dde.GroupText(3), "DDE('a','b','c')abc");
  EXPECT_FALSE(dde.Match("DDE('a','b')"));
  EXPECT_EQ(dde.GroupCount(), 0);
  EXPECT_EQ(dde.GroupText(1), "");
  EXPECT_EQ(dde.ErrorText(), "");
}

TEST(RegExpr, CompileErrorsHaveTheEngineTexts) {
  const std::pair<std::string, const char*> rows[] = {
      {"(a*)*", "*+ operand could be empty"}, {"(a?)+", "*+ operand could be empty"}, {"a**", "nested *?+"},
      {"a+?", "nested *?+"}, {"*a", "?+* follows nothing"}, {"a|+", "?+* follows nothing"},
      {"a\\", "trailing \\"}, {"[a", "unmatched []"}, {"[]", "unmatched []"}, {"(a", "unmatched ()"},
      {"a)", "unmatched ()"}, {"[z-a]", "invalid [] range"}, {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "too many ()"},
      {std::string(40000, 'x'), "regexp too big"}};
  for (const auto& [pattern, error] : rows) EXPECT_EQ(CompileError(pattern), error) << pattern.substr(0, 40);
  CRegExpr nine("(a)(b)(c)(d)(e)(f)(g)(h)(i)");
  ASSERT_TRUE(nine.Match("xabcdefghiy"));
  EXPECT_EQ(nine.GroupText(9), "i");
  EXPECT_EQ(nine.Substitute("\\9\\1\\0"), "iaabcdefghi");
}

TEST(RegExpr, FailedCompileLeavesNoUsableProgram) {
  CRegExpr bad("[a");
  EXPECT_FALSE(bad.Match("a"));
  EXPECT_EQ(bad.ErrorText(), "NULL regexp");
  EXPECT_EQ(bad.Substitute("&"), "");
  EXPECT_EQ(bad.GroupLength(0), -1);
  CRegExpr none;
  EXPECT_FALSE(none.IsCompiled());
  EXPECT_EQ(none.GroupText(0), "");
  EXPECT_EQ(none.ErrorText(), "NULL regexp");
  CRegExpr good("a");
  EXPECT_FALSE(good.Match(static_cast<const char*>(nullptr)));
  EXPECT_EQ(good.ErrorText(), "NULL argument to regexec");
  EXPECT_TRUE(good.Match("a"));
  EXPECT_EQ(good.ErrorText(), "");
}

TEST(RegExpr, DamagedProgramIsRefusedNotRun) {
  CRegProgram program;
  CompileRegProgram("abc", program);
  program.code[0] = 0;
  std::array<std::ptrdiff_t, kRegGroupSlots> start{}, end{};
  CRegMatcher matcher(program, "abc", {});
  EXPECT_FALSE(matcher.Run(start, end));
  EXPECT_EQ(matcher.ErrorCode(), kRegErrCorrupted);
}

// Rows of pattern, subject, whether it matches, and a group with its text.
struct MatchRow { std::string pattern, subject; bool matches; int group = 0; const char* text = nullptr; bool ignoreCase = false; };

TEST(RegExpr, LeftmostGreedyAlternativesBracketsBytesAndCase) {
  const std::string_view zeroInside("a\0b", 3);
  const MatchRow rows[] = {
      {"a*", "", true}, {"a*", "baaa", true, 0, ""},  // leftmost: the empty match at 0
      {"a(.*)b", "xa1b2b3", true, 1, "1b2"}, {"(ab|a)(bc|c)?", "abc", true, 1, "ab"},
      {"(ab|a)(bc|c)?", "abc", true, 2, "c"}, {"(a|ab)c", "abc", true, 1, "ab"},
      {"(x|y)+z", "--xyyxz", true, 0, "xyyxz"}, {"(x|y)+z", "--xyyxz", true, 1, "x"},  // the last repetition
      {"a(b)?c", "ac", true, 1, ""}, {"^$", "", true}, {"^$", "x", false}, {"b$", "abab", true, 0, "b"},
      {"^b", "ab", false}, {"^[]a-c-]+$", "]ab-c", true}, {"^[]a-c-]+$", "abd", false},
      {"[^0-9]+", "12ab34", true, 0, "ab"}, {"\\.\\*\\[", "x.*[y", true}, {"\\.\\*\\[", "xa*[y", false},
      // Windows-1252 bytes above 127, in literals and ranges.
      {"t\xFCr [\xC0-\xDF]", "Haust\xFCr \xC4", true},
      // An embedded zero byte does not end the subject; sets never contain it.
      {"b$", std::string(zeroInside), true}, {"^a[a-z]b", std::string(zeroInside), false},
      {"^a.b", std::string(zeroInside), true},
      // Ignoring case applies outside brackets only; escaped letters fold too.
      {"abc", "xaBcx", true, 0, "aBc", true}, {"abc", "ABC", false}, {"[a]", "A", false, 0, nullptr, true},
      {"t\xFCr\\n+", "T\xDCRNN", true, 0, nullptr, true},
  };
  for (const MatchRow& row : rows) {
    CRegExpr re(row.pattern, row.ignoreCase);
    ASSERT_EQ(re.Match(row.subject), row.matches) << row.pattern << " on " << row.subject;
    if (row.matches && row.text) { EXPECT_EQ(re.GroupText(row.group), row.text) << row.pattern; }
  }
  CRegExpr optional("a(b)?c");
  ASSERT_TRUE(optional.Match("ac"));
  EXPECT_EQ(optional.GroupLength(1), 0);
  EXPECT_EQ(RegIgnoreCasePattern("a1[b]\\.\\x"), "[Aa]1[b]\\.[Xx]");
  EXPECT_EQ(RegIgnoreCasePattern("[]a]b"), "[]a][Bb]");
}

TEST(RegExpr, SubstituteExpandsGroupsAndEscapes) {
  CRegExpr re("(b+)");
  ASSERT_TRUE(re.Match("abbbc"));
  const std::pair<const char*, const char*> rows[] = {
      {"<\\1>", "<bbb>"}, {"&&", "bbbbbb"}, {"\\\\\\&x\\y", "\\&x\\y"}, {"[\\2]", "[]"} /* no such group */,
      {"end\\", "end\\"}};
  for (const auto& [replacement, result] : rows) EXPECT_EQ(re.Substitute(replacement), result) << replacement;
  EXPECT_FALSE(re.Match("xyz"));
  EXPECT_EQ(re.Substitute("<&>"), "<>");
}

TEST(RegExpr, CopiesShareTheProgramButNotTheMatch) {
  CRegExpr original("([0-9]+)");
  CRegExpr copy = original;
  ASSERT_TRUE(original.Match("a12"));
  ASSERT_TRUE(copy.Match("345"));
  EXPECT_EQ(original.GroupText(1), "12");
  EXPECT_EQ(copy.GroupText(1), "345");
  // Many threads matching copies of one pattern at once.
  const CRegExpr shared("^([a-z]+)=([0-9]+)$");
  std::vector<std::thread> threads;
  std::vector<int> good(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&shared, &good, t] {
      for (int i = 0; i < 200; ++i) {
        CRegExpr re = shared;
        const std::string value = std::to_string(t * 1000 + i);
        if (re.Match("key=" + value) && re.GroupText(2) == value) ++good[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int n : good) EXPECT_EQ(n, 200);
}

TEST(RegExpr, PathologicalInputEndsWithAnErrorNotACrash) {
  // One choice point per repetition of a group: a long text hits the bound.
  CRegExpr loop("^(a|b)*$");
  loop.SetMatchLimits({1000, 50'000'000});
  EXPECT_TRUE(loop.Match(std::string(300, 'a')));
  EXPECT_FALSE(loop.Match(std::string(5000, 'a')));
  EXPECT_EQ(loop.ErrorText(), "regexp match too deep: backtracking limit reached");
  // The default bound copes with long texts without exhausting the stack.
  CRegExpr big("^(a|b)*c$");
  EXPECT_TRUE(big.Match(std::string(100000, 'a') + "c"));
  // Exponential backtracking stops at the step limit.
  CRegExpr exponential("^(a+)+b");
  exponential.SetMatchLimits({1u << 18, 200'000});
  EXPECT_FALSE(exponential.Match(std::string(40, 'a')));
  EXPECT_EQ(exponential.ErrorText(), "regexp match too long: step limit reached");
  EXPECT_TRUE(exponential.Match("aaab"));
  EXPECT_EQ(exponential.ErrorText(), "");
  // Quadratic work hidden in simple repetitions counts too: every "A" starts
  // a scan to the end of a long text.
  CRegExpr quadratic("A.*Halle ([0-9]+)");
  quadratic.SetMatchLimits({1u << 18, 1'000'000});
  const std::string text = std::string(20000, 'A') + "Halle x";
  EXPECT_FALSE(quadratic.Match(text));
  EXPECT_EQ(quadratic.ErrorText(), "regexp match too long: step limit reached");
  EXPECT_TRUE(quadratic.Match("Alarm Halle 12"));
  EXPECT_EQ(quadratic.GroupText(1), "12");
}
