// Random patterns and texts over a small alphabet, compared with std::regex
// (ECMAScript is also a leftmost, backtracking, greedy, alternatives-in-order
// matcher): the whole match must start and end at the same place.
// GCC 12 reports false "maybe uninitialized" warnings inside <regex>.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "util/RegExpr.h"

using namespace meldrix;

namespace {

class PatternMaker {
 public:
  explicit PatternMaker(unsigned seed) : rng_(seed) {}
  std::string Expression(int depth) {
    std::string out = Branch(depth);
    while (Chance(15)) out += "|" + Branch(depth);
    return out;
  }
  std::string Text() {
    std::string t;
    const int n = Pick(0, 8);
    for (int i = 0; i < n; ++i) t += "abc"[Pick(0, 2)];
    return t;
  }

 private:
  std::string Branch(int depth) {
    std::string out;
    const int pieces = Pick(1, 3);
    for (int i = 0; i < pieces; ++i) {
      const std::string atom = Atom(depth);
      out += atom;
      // ECMAScript refuses quantified anchors; we accept them.
      if (atom != "^" && atom != "$" && Chance(30)) out += "*+?"[Pick(0, 2)];
    }
    return out;
  }
  std::string Atom(int depth) {
    switch (Pick(0, depth > 0 ? 7 : 5)) {
      case 0: return "a";
      case 1: return "b";
      case 2: return "ab";
      case 3: return ".";
      case 4: return Chance(50) ? "[ab]" : "[^a]";
      case 5: return Chance(50) ? "^" : "$";
      default: return "(" + Expression(depth - 1) + ")";
    }
  }
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Pick(1, 100) <= percent; }
  std::mt19937 rng_;
};

}  // namespace

TEST(RegExprDifferential, WholeMatchAgreesWithEcmaScript) {
  PatternMaker maker(20240515);
  int compared = 0;
  for (int i = 0; i < 1500; ++i) {
    const std::string pattern = maker.Expression(2);
    CRegExpr ours(pattern);
    if (!ours.IsCompiled()) continue;  // e.g. an empty operand under "*"
    std::regex reference;
    try {
      reference.assign(pattern, std::regex::ECMAScript);
    } catch (const std::regex_error& e) {
      ADD_FAILURE() << pattern << ": " << e.what();
      continue;
    }
    for (int j = 0; j < 4; ++j) {
      const std::string text = maker.Text();
      std::smatch m;
      const bool expected = std::regex_search(text, m, reference);
      ASSERT_EQ(ours.Match(text), expected) << "/" << pattern << "/ on \"" << text << "\"";
      if (expected) {
        ASSERT_EQ(ours.GroupText(0), m[0].str()) << "/" << pattern << "/ on \"" << text << "\"";
        ASSERT_EQ(ours.GroupLength(0), m.length(0));
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 2000);
}
