#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "platform/Env.h"
#include "ExprTestSupport.h"
#include "expr/ExprFormat.h"
#include "expr/ExprParser.h"
#include "platform/Dio.h"

namespace meldrix {
namespace {

using test::Eval;

TEST(ExprFunctions, TextFunctionsAndTheirLimits) {
  const std::pair<const char*, const char*> rows[] = {
      {"LEN('abc')", "3"}, {"LEN(12.5)", "4"}, {"MID('abcdef', 3)", "cdef"}, {"MID('abcdef', 3, 2)", "cd"},
      {"MID('abcdef', 5, 99)", "ef"}, {"MID('abc', 4)", ""}, {"MID('abc', 0)", ""}, {"MID('abc', 1, 0)", ""},
      {"LEFT('abc', 5)", "abc"}, {"LEFT('abc', -1)", ""}, {"RIGHT('abc', 0)", ""}, {"RIGHT('abc', 2)", "bc"},
      {"RIGHT('abc', 2147483647)", "abc"}, {"FIND('abcabc', 'ca')", "3"}, {"FIND('abc', 'x')", "0"},
      {"FIND('abc', '')", "1"},
      {"REPLACE('abcdef', 'XY', 2, 2)", "aXYdef"}, {"REPLACE('abcdef', 'XYZ', 2, 2)", "aXYdef"},
      {"REPLACE('abcdef', 'XY', 2, 5)", "abcdef"},  // would reach the end
      {"REPLACE('abcdef', 'XY', 0, 2)", "abcdef"}, {"REPLACE('abcdef', 'XY', 2147483647, 2147483647)", "abcdef"},
      {"REPLACEALL('a.b.c', '.', '/')", "a/b/c"}, {"REPLACEALL('aaa', 'aa', 'b')", "ba"},
      {"REPLACEALL('abc', '', 'x')", "abc"},
      // Case mapping uses Windows-1252.
      {"UPPERCASE('stra\xDF" "e \xE4\xF6\xFC')", "STRA\xDF" "E \xC4\xD6\xDC"}, {"LOWERCASE('\xC4" "Bc')", "\xE4" "bc"},
      {"GETCSV('a;b;c', 2)", "b"}, {"GETCSV('\"x,y\",z', 1)", "x,y"}, {"GETCSV('a,b', 3)", ""},
      {"GETCSV('a,b', 0)", ""}, {"GETCSV('a|b|c', 3, '|x')", "c"}, {"GETCSV('a,b;c', 2, '')", "b;c"},
      {"REGEXP('abbbc', '(b+)', '<\\1>')", "<bbb>"}, {"REGEXP('abbbc', 'b+', '&&')", "bbbbbb"},
      {"REGEXP('abc', 'x', '&')", ""}, {"REGEXP('abc', '(a', '&')", "?REGEXP?"}, {"SHR(-1, 28)", "15"},
      {"SHL(1, 33)", "2"}, {"SHL(1, 31)", "-2147483648"}, {"FORMAT('3.14159', '0.0')", "3.1"},
      // Functions without an action here parse with all their forms.
      {"CONCAT(DBREAD('a', 'b', 'c', 'd'), DBREAD('a', 'b', 'c', 'd', 'e', 5), DBLOOKUP('a', 'b', 'c'))", ""},
      {"CONCAT(PING('h'), SNMP('h', MIB2), DBXML('a','b'), DBTABLE('a','b','c','d'))", ""},
      {"WAKEONLAN('a', 'b', 'c', 9) + DBUPDATE('a', 'b', 'c', 'd', 'e') + DBCOUNT('a','b','c')", "0"},
      {"DBEXEC('a','b') + DBWRITE('a','b')", "0"}, {"DBREAD('a', 'b', 'c')", "ERR:Syntaxfehler @21"},
  };
  for (const auto& [expression, result] : rows) EXPECT_EQ(Eval(expression), result) << expression;
}

TEST(ExprFunctions, FormatPictures) {
  const std::tuple<double, const char*, const char*> rows[] = {
      {3.14159, "0.00", "3.14"}, {5, "+00", "+05"}, {5, "-00", " 05"}, {-5, "+00", "-05"}, {123, "0*", "##"},
      {123, "0*.00", "##.##"}, {12, "0*", "12"}, {2.5, "", "2.5"}, {2.5, "abc", "2.5"}, {5, "###0", "   5"},
      {5, "0000", "0005"}, {12345, "00", "12345"},  // every digit is kept
      {0.25, "#.0", "0.3"}, {2.7, "0", "2"},           // no fraction picture: truncated
      // The rounding carries into the integer digits, and "#" drops only zeros
      // that no written digit follows.
      {1.999, "0.00", "2.00"}, {1.05, "0.##", "1.05"}, {1.5, "0.##", "1.5"}, {2.0, "0.##", "2."},
      {1e20, "0", "100000000000000000000"},
  };
  for (const auto& [value, picture, text] : rows) EXPECT_EQ(FormatNumber(value, picture), text) << value << picture;
}

TEST(ExprFunctions, EvalWorksOnACopyOfTheVariables) {
  CDataValueStorage store(false);
  store.Set("x", "7");
  EXPECT_EQ(Eval("EVAL('x := 2; x * 3')", store), "6");
  std::string value;
  ASSERT_TRUE(store.Get("x", value));
  EXPECT_EQ(value, "7");
  EXPECT_EQ(Eval("EVAL('x + 1')", store), "8");
  EXPECT_EQ(Eval("EVAL('1 +')", store), "");           // errors are not reported
  EXPECT_EQ(Eval("EVAL('5; 1 +')", store), "5");       // the last reduced statement
  // A token longer than EVAL's 100-byte buffer aborts the inner run only.
  EXPECT_EQ(Eval("EVAL(CONCAT('LEN($'', '" + std::string(120, 'a') + "', '$')'))", store), "");
  // An expression that evaluates itself does not recurse without end.
  store.Set("self", "EVAL(self)");
  EXPECT_EQ(Eval("EVAL(self)", store), "");
}

// Each inner run shows one message box: a chain stops at the depth limit, a
// tree (three EVALs per run, 3^16 runs unbounded) at the run budget of the
// whole evaluation, which the next evaluation has afresh.
TEST(ExprFunctions, EvalIsBoundedInDepthAndInRuns) {
  auto ui = std::make_shared<test::RecordingUi>();
  ScopedEnv env(Env{.ui = ui});
  CDataValueStorage store(false);
  store.Set("chain", "MESSAGEBOX('c', 0) + EVAL(chain)");
  store.Set("tree", "MESSAGEBOX('t', 0) + EVAL(tree) + EVAL(tree) + EVAL(tree)");
  for (const auto& [expression, runs] : {std::pair{"EVAL(chain)", yy_parse::kMaxEvalDepth},
                                          std::pair{"EVAL(tree)", yy_parse::kMaxEvalRuns},
                                          std::pair{"EVAL(tree); EVAL(chain)", yy_parse::kMaxEvalRuns}}) {
    ui->shown.clear();
    Eval(expression, store);
    EXPECT_EQ(static_cast<int>(ui->shown.size()), runs) << expression;
  }
}

TEST(ExprFunctions, MessageBoxOnlyWhenEvaluating) {
  auto ui = std::make_shared<test::RecordingUi>();
  ui->answer = kIdNo;
  ScopedEnv env(Env{.ui = ui});
  CDataValueStorage store(false);
  EXPECT_EQ(Eval("MESSAGEBOX('Alarm', 4)", store), "7");
  EXPECT_EQ(Eval("IF 0 THEN MESSAGEBOX('no', 0) END_IF; 1", store), "1");
  EXPECT_EQ(CheckExpression("MESSAGEBOX('no', 0)", store), 0);
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0], "Meldrix|Alarm|4");
  // A check shows its first error in a message box with the error icon.
  EXPECT_EQ(CheckExpression("1 +", store), 3);
  ASSERT_EQ(ui->shown.size(), 2u);
  EXPECT_EQ(ui->shown[1], "Meldrix|Syntaxfehler|16");
}

TEST(ExprFunctions, DigitalOutputsAndImpulses) {
  int64_t now = 1000;
  auto bank = std::make_shared<SimulatedDioBank>(16, [&now] { return now; });
  ScopedEnv env(Env{.dio = bank});
  CDataValueStorage store(false);
  bank->SetInput(2, 1);
  EXPECT_EQ(Eval("%I3 + %IX3 * 10 + %I1 * 100", store), "11");
  EXPECT_EQ(Eval("%Q5 := 1; %QX5", store), "1");
  EXPECT_EQ(bank->GetOutput(4), 1);
  EXPECT_EQ(Eval("%Q5 := 0; %Q5", store), "0");
  EXPECT_EQ(Eval("QIMPULSE(%Q2, 3)", store), "0");  // the state before the impulse
  EXPECT_EQ(bank->GetOutput(1), 1);
  now += 299;
  EXPECT_EQ(bank->GetOutput(1), 1);
  now += 1;
  EXPECT_EQ(bank->GetOutput(1), 0);  // ended after 3 x 100 ms
  bank->SetOutput(1, 1);
  EXPECT_EQ(Eval("QIMPULSE(%Q2, -1)", store), "1");
  EXPECT_EQ(bank->GetOutput(1), 0);
  now += 100;
  EXPECT_EQ(bank->GetOutput(1), 1);
  // Skipped branches and checks switch nothing.
  EXPECT_EQ(Eval("IF 0 THEN %Q7 := 1; QIMPULSE(%Q8, 5) END_IF; %Q7", store), "0");
  EXPECT_EQ(CheckExpression("%Q7 := 1", store), 0);
  EXPECT_EQ(bank->GetOutput(6), 0);
  EXPECT_EQ(bank->GetOutput(7), 0);
  EXPECT_EQ(Eval("%QA1 := '2.5'", store), "2.5");
  EXPECT_EQ(Eval("%IA1 + %QA1", store), "0");
}

}  // namespace
}  // namespace meldrix
