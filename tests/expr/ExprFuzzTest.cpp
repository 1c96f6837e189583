// Any byte string is an expression: it evaluates or fails through the error
// channel, and never crashes, overflows a buffer or hangs (run under the
// sanitizers).
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "ExprTestSupport.h"

namespace meldrix {
namespace {

using test::Eval;

// Seeds without functions that reach outside the process.
const std::vector<std::string> kSeeds = {
    "x := 5; x * 2",
    "IF a = 1 THEN b := 'x' ELSIF a > 2 THEN b := 2.5 ELSE b := -1 END_IF; b",
    "CONCAT('Alarm ', MID($MESSAGE, 3, 4), FORMAT(12.345, '+###0.00'))",
    "GETCSV('a;\"b;c\";d', 2) + REPLACE('abcdef', 'XY', 2, 2)",
    "DT#2019-01-02-03:04:05 + 86400 - DT#2019-01-01-00:00:00",
    "16#FF AND 2#1010 OR 8#17 XOR NOT 0 ** 2 MOD 3 / 0",
    "'str$x41$101$n$$' <> 'abc' = 1",
    "a[ 1 + 2 ] := SEL(1, 'y', 'n'); VAR('a[3]')",
    "EVAL('z := 1; z + EVAL($'2$')')",
    "REGEXP('abbbc', '(b+)', '<\\1>'); REPLACEALL('a.b', '.', '/')",
    "(* comment *) SHL(1, 33) + SHR(-1, 28) + LEN(UPPERCASE('\xE4'))",
    "%Q1 := %I2; QIMPULSE(%Q3, -2); %QA1 := 1.5; %IA2",
    "DBREAD('a','b','c','d','e',1); WAKEONLAN('a','b','c',1); PING('h'); SNMP('h', MIB2)",
    "CLRVAR('x'); DBFIELD('f') := 1; DBFIELD('f')",
};

std::string Mutate(std::string text, std::mt19937& rng) {
  std::uniform_int_distribution<int> op(0, 5), byte(0, 255);
  int rounds = 1 + static_cast<int>(rng() % 4);
  for (int r = 0; r < rounds; ++r) {
    size_t pos = text.empty() ? 0 : rng() % (text.size() + 1);
    switch (op(rng)) {
      case 0: text.insert(pos, 1, static_cast<char>(byte(rng))); break;
      case 1: if (pos < text.size()) text.erase(pos, 1 + rng() % 5); break;
      case 2: if (pos < text.size()) text[pos] = static_cast<char>(byte(rng)); break;
      case 3: text.insert(pos, kSeeds[rng() % kSeeds.size()]); break;
      case 4: {
        static const char* pieces[] = {"(", ")", "'", "(*", "*)", "{{", "}}", "$", "IF ", " THEN ",
                                       " END_IF", ";", ":=", "DT#", "16#", "%Q", "EVAL(", ","};
        text.insert(pos, pieces[rng() % (sizeof pieces / sizeof *pieces)]);
        break;
      }
      default: text = text.substr(0, pos); break;
    }
  }
  return text;
}

TEST(ExprFuzz, RandomAndMutatedExpressionsNeverCrash) {
  ScopedEnv env(Env{.ui = std::make_shared<test::RecordingUi>()});
  std::mt19937 rng(20190506);
  CDataValueStorage store(false);
  store.Set("$MESSAGE", "Brand;Halle 3;Melder 7");
  int evaluated = 0, failed = 0;
  for (int i = 0; i < 6000; ++i) {
    std::string text;
    if (i % 3 == 0) {
      size_t length = rng() % 64;
      for (size_t k = 0; k < length; ++k) text += static_cast<char>(rng() & 0xFF);
    } else {
      text = Mutate(kSeeds[rng() % kSeeds.size()], rng);
    }
    std::string result, error;
    if (EvaluateExpression(text, store, result, &error)) {
      ++evaluated;
    } else {
      ++failed;
      EXPECT_FALSE(error.empty());
    }
    CheckExpression(text, store);
    ExpandText("a{{" + text + "}}b{{" + text, store);
  }
  EXPECT_GT(evaluated, 100);
  EXPECT_GT(failed, 100);
}

TEST(ExprFuzz, HostileShapes) {
  ScopedEnv env(Env{.ui = std::make_shared<test::RecordingUi>()});
  CDataValueStorage store(false);
  EXPECT_EQ(Eval(std::string(100000, '(') + "1" + std::string(100000, ')'), store).substr(0, 25),
            "ERR:Parser stack overflow");
  std::string ifs;
  for (int i = 0; i < 1000; ++i) ifs += "IF 1 THEN ";
  EXPECT_EQ(Eval(ifs + "1", store).substr(0, 4), "ERR:");
  EXPECT_EQ(Eval("'" + std::string(100000, 'x'), store), "ERR:Der Ausdruck endet innerhalb eines Strings @100001");
  EXPECT_EQ(Eval("(*" + std::string(100000, '*'), store).substr(0, 4), "ERR:");
  EXPECT_EQ(Eval(std::string(5000, '9') + " + 1", store), "-2147483648");  // clamped, then wrapped
  EXPECT_EQ(Eval("9" + std::string(400, '9') + ".0 * 10", store), "inf");
  EXPECT_EQ(ExpandText("{{" + std::string(50000, '{') + "1", store), "{{" + std::string(50000, '{') + "1");
  std::string binary;
  for (int c = 0; c < 256; ++c) binary += static_cast<char>(c);
  EXPECT_EQ(Eval(binary, store).substr(0, 4), "ERR:");
}

}  // namespace
}  // namespace meldrix
