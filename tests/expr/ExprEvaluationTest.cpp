#include <gtest/gtest.h>

#include <string>

#include "ExprTestSupport.h"

namespace meldrix {
namespace {

using test::Eval;

// Expression and result (or "ERR:" and the message) on an empty store.
void ExpectResults(std::initializer_list<std::pair<const char*, const char*>> rows) {
  for (const auto& [expression, result] : rows) EXPECT_EQ(Eval(expression), result) << expression;
}

TEST(ExprEvaluation, ArithmeticTypesAndIntegerEdges) {
  ExpectResults({
      {"1 + 2", "3"}, {"7 / 2", "3"}, {"7.0 / 2", "3.5"}, {"7 / 0", "0"}, {"7.5 / 0", "0"}, {"-7 MOD 3", "-1"},
      {"7 MOD 0", "0"}, {"2 ** 10", "1024"}, {"'3' + '4'", "7"}, {"2.5", "2.5"}, {"-3", "-3"},
      {"'0x1F' * 1", "0"},      // a string meets an integer: both real, "0x" reads as 0
      {"SHL('0x1F', 0)", "31"}, {"SHL(' 017', 0)", "15"},  // to integer: automatic base
      {"1e20 * 1.0", "ERR:Syntaxfehler @5"},  // the integer 1 and the identifier e20
      {"100000.0 * 1000000", "1e+011"},
      // Integers wrap instead of overflowing.
      {"2147483647 + 1", "-2147483648"}, {"(0 - 2147483647 - 1) / (0 - 1)", "-2147483648"},
      {"(0 - 2147483647 - 1) MOD (0 - 1)", "0"}, {"65536 * 65536", "0"},
      {"CONCAT('a', 1, 2.5)", "a12.5"}, {"CONCAT(1 + 1) * 2", "4"}, {"SEL(1, 'yes', 'no')", "yes"},
      {"SEL(0, 'yes', 'no')", "no"}, {"SEL('0', 1, 2) + 1", "3"},
  });
}

TEST(ExprEvaluation, EveryBinaryOperatorHasItsOwnLevelAndComparisonsAreNonAssociative) {
  ExpectResults({
      {"10 - 2 + 3", "5"}, {"8 / 2 * 2", "2"}, {"10 + 4 MOD 3", "11"}, {"7 MOD 4 / 2", "1"},  // right to left
      {"2 * 3 ** 2", "18"}, {"-2 ** 2", "-4"}, {"-2 * 3", "-6"}, {"1 OR 2 XOR 3 AND 1", "3"}, {"6 & 3", "2"},
      {"NOT 0 + 1", "2"}, {"NOT 1 = 0", "1"},
      {"'abc' = 'abc'", "1"}, {"'abc' = 'ABC'", "0"}, {"'10' < '9'", "0"}, {"'abc' <> 'abd'", "1"},
      {"1 = 1.0", "1"}, {"1 < 2 < 3", "ERR:Syntaxfehler @8"}, {"1 = 1 = 1", "ERR:Syntaxfehler @7"},
      {"2 = 2 <> 2", "1"}, {"2 <> 2 = 2", "1"},  // (2 = 2) <> 2 and 2 <> (2 = 2)
      // Syntax errors and their positions.
      {" ", "ERR:Syntaxfehler @1"}, {"(* only *)", "ERR:Syntaxfehler @10"}, {"1 +", "ERR:Syntaxfehler @3"},
      {"MID('a')", "ERR:Syntaxfehler @8"}, {"x := ", "ERR:Syntaxfehler @5"},
      {"1 # 2", "ERR:Ung\xFCltiges Zeichen '#'=23H @3"}, {"IF 1 THEN END_IF", "ERR:Syntaxfehler @16"},
  });
}

TEST(ExprEvaluation, StatementsAndVariables) {
  ExpectResults({
      {"x := 5; x * 2", "10"}, {"y := 2.50; y", "2.5"}, {"a[ 1 ] := 'one'; a[1]", "one"},
      {"a[ 1 ] := 'one'; VAR('a[1]')", "one"}, {"x := 'a'; CLRVAR('x'); x", ""}, {"1;;2;", "2"},
      {"DBFIELD('k') := 3; DBFIELD('k')", "3"}, {"DBFIELD('k') := 3; VAR('DB_k')", "3"},
      // System variables are read-only; in a string "$$" is the dollar sign itself ('$X' would be "X").
      {"$TIME := 1", "ERR:Systemvariablen sind schreibgesch\xFCtzt @10"}, {"VAR('$$X') := 1; VAR('$$X')", "1"},
  });
  CDataValueStorage store(false);
  EXPECT_EQ(Eval("$X[1] := 1; 5", store).substr(0, 4), "ERR:");
  std::string value;
  EXPECT_FALSE(store.Get("$X[1]", value));
}

TEST(ExprEvaluation, IfRunsOneBranchAndSkippedBranchesReadZeroAndWriteNothing) {
  ExpectResults({
      {"IF 1 THEN a := 1; ELSE a := 2; END_IF; a", "1"}, {"IF 0 THEN a := 1; ELSE a := 2; END_IF; a", "2"},
      {"IF 0 THEN a := 1 ELSIF 1 THEN a := 3 ELSIF 1 THEN a := 4 ELSE a := 5 END_IF; a", "3"},
      {"IF 1 THEN 'a' ELSE 'b' END_IF", "a"}, {"IF 0 THEN 'a' ELSE 'b' END_IF", "b"},
      // The inner IF of a skipped branch never runs, whatever its condition.
      {"b := 0; IF 0 THEN IF 1 THEN b := 1 END_IF ELSE IF 0 THEN b := 2 ELSE b := 3 END_IF END_IF; b", "3"},
      {"IF 0 THEN c := 1 END_IF; c := 9; c", "9"},
      // In a skipped branch v reads as 0, the assignment does nothing.
      {"v := 7; IF 0 THEN w := v ELSE w := 'x' END_IF; w", "x"},
      {"v := 7; IF 1 THEN w := v ELSIF v = 7 THEN w := 'no' END_IF; w", "7"},
  });
  // A chosen branch makes the later conditions read under the skip flag.
  EXPECT_EQ(Eval("v := 7; IF 1 THEN 1 ELSIF CLRVAR('v') = 0 THEN 2 END_IF").substr(0, 4), "ERR:");
}

TEST(ExprEvaluation, ParserStackIsLimited) {
  EXPECT_EQ(Eval(std::string(200, '(') + "1" + std::string(200, ')')).substr(0, 25), "ERR:Parser stack overflow");
  EXPECT_EQ(Eval(std::string(60, '(') + "1" + std::string(60, ')')), "1");
}

TEST(ExprEvaluation, ErrorIsKeptInTheStoreUntilTheNextEvaluation) {
  CDataValueStorage store(false);
  EXPECT_EQ(Eval("1 +", store), "ERR:Syntaxfehler @3");
  std::string value, result;
  ASSERT_TRUE(store.Get("$ERROR", value));
  EXPECT_EQ(value, "Syntaxfehler @3");
  EXPECT_TRUE(EvaluateExpression("1", store, result));
  EXPECT_FALSE(store.Get("$ERROR", value));
  EXPECT_TRUE(EvaluateExpression("", store, result));
  EXPECT_EQ(result, "1");  // empty text: result untouched
}

}  // namespace
}  // namespace meldrix
