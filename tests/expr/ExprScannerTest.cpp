#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "expr/ExprNumbers.h"
#include "expr/ExprScanner.h"
#include "expr/ExprTokens.h"
#include "expr/StringStorage.h"

namespace meldrix {
namespace {

// Tokens as readable words: "IDENT:a", "NE", "INT:8", "STR:x", "'<'".
std::vector<std::string> Tokens(const std::string& text, yy_scan* keep = nullptr,
                                size_t capacity = 0) {
  CStringStorage strings;
  yy_scan local(capacity ? capacity : text.size() * 2 + 4);
  yy_scan& scanner = keep ? *keep : local;
  scanner.Init(nullptr, &strings, text, false);
  std::vector<std::string> out;
  for (int guard = 0; guard < 1000; ++guard) {
    ExprValue v{};
    int t = scanner.NextToken(v);
    if (t == 0) break;
    if (t == yy_scan::kAbort) {
      out.push_back("ABORT");
      break;
    }
    static const std::map<int, const char*> kNames = {
        {TOK_GE, "GE"}, {TOK_LE, "LE"}, {TOK_NE, "NE"}, {TOK_POW, "POW"}, {TOK_AND, "AND"},
        {TOK_ASSIGN, "ASSIGN"}, {TOK_IF, "IF"}, {TOK_MID, "MID"}};
    if (t == TOK_INTEGER) out.push_back("INT:" + IntegerToText(v.ival));
    else if (t == TOK_REAL) out.push_back("REAL:" + RealToText(v.dval));
    else if (t == TOK_STRING) out.push_back("STR:" + strings.Get(v.sref));
    else if (t == TOK_IDENT) out.push_back("IDENT:" + strings.Get(v.sref));
    else if (t == TOK_DIN) out.push_back("DIN:" + IntegerToText(v.ival));
    else if (t == TOK_AIN) out.push_back("AIN:" + IntegerToText(v.ival));
    else if (t == TOK_DOUT) out.push_back("DOUT:" + IntegerToText(v.ival));
    else if (t == TOK_AOUT) out.push_back("AOUT:" + IntegerToText(v.ival));
    else if (kNames.count(t)) out.push_back(kNames.at(t));
    else out.push_back(t < 256 ? std::string("'") + static_cast<char>(t) + "'" : "KW" + std::to_string(t));
  }
  return out;
}

using V = std::vector<std::string>;

TEST(ExprScanner, TokensOfEveryKind) {
  const std::pair<const char*, V> rows[] = {
      // Operators take the longest match.
      {"a<>b", V{"IDENT:a", "NE", "IDENT:b"}}, {"a>=b<=c", V{"IDENT:a", "GE", "IDENT:b", "LE", "IDENT:c"}},
      {"a<b", V{"IDENT:a", "'<'", "IDENT:b"}}, {"a==b", V{"IDENT:a", "'='", "'='", "IDENT:b"}},
      {"x:=2**3&y", V{"IDENT:x", "ASSIGN", "INT:2", "POW", "INT:3", "AND", "IDENT:y"}},
      {"AND and", {"AND", "IDENT:and"}},
      {"(**)1", V{"INT:1"}}, {"1(* a *) b *)2", V{"INT:1", "IDENT:b", "'*'", "')'", "INT:2"}},
      {"'it$'s'", V{"STR:it's"}}, {"'a''b'", V{"STR:a", "STR:b"}}, {"'$41'", V{"STR:!"}}, {"'$x41'", V{"STR:A"}},
      {"'$T$t'", V{"STR:T\t"}}, {"'$L$n$N$R$p'", V{"STR:\r\n\n\r\f"}}, {"'$x4142'", V{"STR:A42"}},
      {"'$xg'", V{"STR:xg"}}, {"'$0101'", V{"STR:A"}},  // four octal digits
      {"'$777'", V{"STR:\xFF"}},                       // modulo 256
      {"'a$\nb'", V{"STR:ab"}}, {"'$$$\"'", V{"STR:$\""}},
      {"16#ff 2#102 8#17 012 08", V{"INT:255", "INT:2", "INT:2", "INT:15", "INT:10", "INT:0"}},
      {"1. .5 1.5e-3 1.e2", {"REAL:1", "REAL:0.5", "REAL:0.0015", "REAL:100"}}, {"1e3", V{"INT:1", "IDENT:e3"}},
      {"99999999999", V{"INT:2147483647"}}, {"16#FFFFFFFFFF", V{"INT:2147483647"}},
      // Direct addresses, keywords, constants and dates.
      {"%QX12 %QA4 %I3 %IX7 %IA2 %Q1", V{"DOUT:12", "AOUT:4", "DIN:3", "DIN:7", "AIN:2", "DOUT:1"}},
      {"TRUE true FALSE Dummy FT_AllLines MIB2",
       V{"INT:1", "IDENT:true", "INT:0", "IDENT:Dummy", "INT:2", "STR:.iso.org.dod.internet.mgmt.mib-2."}},
      {"IF MID $MESSAGE _x1 \xE4nderung \xB5s",
       V{"IF", "MID", "IDENT:$MESSAGE", "IDENT:_x1", "IDENT:\xE4nderung", "IDENT:\xB5s"}},
      {"DT#2019-1-2-3:4:5", V{"STR:DT#2019-1-2-3:4:5"}},
      {"DT#2019-01-02", V{"STR:DT#2019", "'-'", "INT:1", "'-'", "INT:2"}}, {"DTX DT", V{"IDENT:DTX", "IDENT:DT"}},
  };
  for (const auto& [text, tokens] : rows) EXPECT_EQ(Tokens(text), tokens) << text;
  ASSERT_EQ(Tokens("DT#NOW").size(), 1u);
  EXPECT_EQ(Tokens("DT#NOW")[0].substr(0, 7), "STR:DT#");
}

TEST(ExprScanner, ErrorsKeepTheFirstOneWithTheReadIndexAndScanOn) {
  struct Row { const char* text; std::optional<V> tokens; const char* error; int position; };
  const Row rows[] = {
      {"(* x", V{}, "Der Ausdruck endet innerhalb eines Kommentars", 4},
      {"'abc\nx", V{"STR:abc", "IDENT:x"}, "Der Ausdruck endet innerhalb eines Strings", -1},
      {"'abc", V{"STR:abc"}, "Der Ausdruck endet innerhalb eines Strings", 4},  // nothing is read twice
      {"10#5", V{"INT:10", "INT:5"}, "Ung\xFCltiges Zeichen '#'=23H", -1},
      {"%IW1", V{"IDENT:IW1"}, "Ung\xFCltiges Zeichen '%'=25H", -1},
      {"%ix1", V{"IDENT:ix1"}, "Ung\xFCltiges Zeichen '%'=25H", -1},  // direct addresses are case-sensitive
      {"a \xD7 b", V{"IDENT:a", "IDENT:b"}, "Ung\xFCltiges Zeichen '\xD7'=D7H", -1},  // 0xD7 is no letter
      {"DT#NO", V{"IDENT:DT", "IDENT:NO"}, "Ung\xFCltiges Zeichen '#'=23H", -1},
      // '$' needs the look-ahead "'" to be known invalid: the index counts it.
      {"ab $'x' # ?", std::nullopt, "Ung\xFCltiges Zeichen '$'=24H", 5},
  };
  for (const Row& row : rows) {
    yy_scan scanner(100);
    V tokens = Tokens(row.text, &scanner);
    if (row.tokens) { EXPECT_EQ(tokens, *row.tokens) << row.text; }
    EXPECT_EQ(scanner.ErrorText(), row.error) << row.text;
    if (row.position >= 0) { EXPECT_EQ(scanner.ErrorPosition(), row.position) << row.text; }
  }
}

TEST(ExprScanner, TokenBufferOverflowAborts) {
  yy_scan scanner(10);
  EXPECT_EQ(Tokens("abcdefghijklmnop", &scanner, 10), (V{"ABORT"}));
  EXPECT_EQ(scanner.ErrorText(), "Token buffer overflow");
  yy_scan strings(10);
  EXPECT_EQ(Tokens("'abcdefghijklmnop'", &strings, 10), (V{"ABORT"}));
  yy_scan fits(10);
  EXPECT_EQ(Tokens("abcdefghi", &fits, 10), (V{"IDENT:abcdefghi"}));
}

}  // namespace
}  // namespace meldrix
