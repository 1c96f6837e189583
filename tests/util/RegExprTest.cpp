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
  EXPECT_EQ(dde.GroupText(0), "DDE('a','b','c')");
  EXPECT_EQ(dde.GroupText(1), "a");
  EXPECT_EQ(dde.GroupText(2), "b");
  EXPECT_EQ(dde.GroupText(3), "c");
  EXPECT_EQ(dde.GroupCount(), 4);
  EXPECT_FALSE(dde.Match("DDE('a','b')"));
  EXPECT_EQ(dde.GroupCount(), 0);
  EXPECT_EQ(dde.GroupText(1), "");
  EXPECT_EQ(dde.ErrorText(), "");

  CRegExpr opc("^OPC\\('([^']+)','([^']+)'\\)$");
  ASSERT_TRUE(opc.Match("OPC('Srv.1','Channel1.Tag')"));
  EXPECT_EQ(opc.GroupText(1), "Srv.1");
  EXPECT_EQ(opc.GroupText(2), "Channel1.Tag");
}

TEST(RegExpr, CompileErrorsHaveTheEngineTexts) {
  EXPECT_EQ(CompileError("(a*)*"), "*+ operand could be empty");
  EXPECT_EQ(CompileError("(a?)+"), "*+ operand could be empty");
  EXPECT_EQ(CompileError("a**"), "nested *?+");
  EXPECT_EQ(CompileError("a+?"), "nested *?+");
  EXPECT_EQ(CompileError("*a"), "?+* follows nothing");
  EXPECT_EQ(CompileError("a|+"), "?+* follows nothing");
  EXPECT_EQ(CompileError("a\\"), "trailing \\");
  EXPECT_EQ(CompileError("[a"), "unmatched []");
  EXPECT_EQ(CompileError("[]"), "unmatched []");
  EXPECT_EQ(CompileError("(a"), "unmatched ()");
  EXPECT_EQ(CompileError("a)"), "unmatched ()");
  EXPECT_EQ(CompileError("[z-a]"), "invalid [] range");
  EXPECT_EQ(CompileError("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)"), "too many ()");
  EXPECT_EQ(CompileError(std::string(40000, 'x')), "regexp too big");

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

TEST(RegExpr, LeftmostGreedyAndAlternativesInOrder) {
  CRegExpr star("a*");
  EXPECT_TRUE(star.Match(""));
  EXPECT_TRUE(star.Match("baaa"));
  EXPECT_EQ(star.GroupLength(0), 0);  // leftmost: the empty match at 0

  CRegExpr greedy("a(.*)b");
  ASSERT_TRUE(greedy.Match("xa1b2b3"));
  EXPECT_EQ(greedy.GroupText(1), "1b2");

  CRegExpr alt("(ab|a)(bc|c)?");
  ASSERT_TRUE(alt.Match("abc"));
  EXPECT_EQ(alt.GroupText(1), "ab");
  EXPECT_EQ(alt.GroupText(2), "c");

  CRegExpr backtrack("(a|ab)c");
  ASSERT_TRUE(backtrack.Match("abc"));
  EXPECT_EQ(backtrack.GroupText(1), "ab");

  CRegExpr repeatGroup("(x|y)+z");
  ASSERT_TRUE(repeatGroup.Match("--xyyxz"));
  EXPECT_EQ(repeatGroup.GroupText(0), "xyyxz");
  EXPECT_EQ(repeatGroup.GroupText(1), "x");  // the last repetition

  CRegExpr optional("a(b)?c");
  ASSERT_TRUE(optional.Match("ac"));
  EXPECT_EQ(optional.GroupLength(1), 0);
  EXPECT_EQ(optional.GroupText(1), "");

  CRegExpr anchors("^$");
  EXPECT_TRUE(anchors.Match(""));
  EXPECT_FALSE(anchors.Match("x"));
  CRegExpr endOnly("b$");
  EXPECT_TRUE(endOnly.Match("abab"));
  EXPECT_EQ(CRegExpr("^b").Match("ab"), false);
}

TEST(RegExpr, BracketsEscapesAndBytes) {
  CRegExpr set("^[]a-c-]+$");
  EXPECT_TRUE(set.Match("]ab-c"));
  EXPECT_FALSE(set.Match("abd"));
  CRegExpr negated("[^0-9]+");
  ASSERT_TRUE(negated.Match("12ab34"));
  EXPECT_EQ(negated.GroupText(0), "ab");
  CRegExpr escaped("\\.\\*\\[");
  EXPECT_TRUE(escaped.Match("x.*[y"));
  EXPECT_FALSE(escaped.Match("xa*[y"));
  // Windows-1252 bytes above 127, in literals and ranges.
  CRegExpr umlaut("t\xFCr [\xC0-\xDF]");
  EXPECT_TRUE(umlaut.Match("Haust\xFCr \xC4"));
  // An embedded zero byte does not end the subject; sets never contain it.
  CRegExpr afterZero("b$");
  EXPECT_TRUE(afterZero.Match(std::string_view("a\0b", 3)));
  EXPECT_FALSE(CRegExpr("^a[a-z]b").Match(std::string_view("a\0b", 3)));
  EXPECT_TRUE(CRegExpr("^a.b").Match(std::string_view("a\0b", 3)));
}

TEST(RegExpr, SubstituteExpandsGroupsAndEscapes) {
  CRegExpr re("(b+)");
  ASSERT_TRUE(re.Match("abbbc"));
  EXPECT_EQ(re.Substitute("<\\1>"), "<bbb>");
  EXPECT_EQ(re.Substitute("&&"), "bbbbbb");
  EXPECT_EQ(re.Substitute("\\\\\\&x\\y"), "\\&x\\y");
  EXPECT_EQ(re.Substitute("[\\2]"), "[]");  // no such group
  EXPECT_EQ(re.Substitute("end\\"), "end\\");

  CRegExpr mail("^.*<(.*)>.*$");
  ASSERT_TRUE(mail.Match("Alarm Desk <alarm@example.org> (ops)"));
  EXPECT_EQ(mail.GroupText(1), "alarm@example.org");

  EXPECT_FALSE(re.Match("xyz"));
  EXPECT_EQ(re.Substitute("<&>"), "<>");
}

TEST(RegExpr, IgnoreCaseAppliesOutsideBracketsOnly) {
  CRegExpr abc("abc", true);
  EXPECT_TRUE(abc.Match("xABCx"));
  EXPECT_TRUE(abc.Match("aBc"));
  EXPECT_FALSE(CRegExpr("abc").Match("ABC"));

  CRegExpr bracket("[a]", true);
  EXPECT_FALSE(bracket.Match("A"));
  EXPECT_TRUE(bracket.Match("a"));

  CRegExpr umlaut("t\xFCr\\n+", true);  // escaped letters fold too
  EXPECT_TRUE(umlaut.Match("T\xDCRNN"));
  EXPECT_EQ(RegIgnoreCasePattern("a1[b]\\.\\x"), "[Aa]1[b]\\.[Xx]");
  EXPECT_EQ(RegIgnoreCasePattern("[]a]b"), "[]a][Bb]");
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
