#include <gtest/gtest.h>

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
    switch (t) {
      case TOK_INTEGER: out.push_back("INT:" + IntegerToText(v.ival)); break;
      case TOK_REAL: out.push_back("REAL:" + RealToText(v.dval)); break;
      case TOK_STRING: out.push_back("STR:" + strings.Get(v.sref)); break;
      case TOK_IDENT: out.push_back("IDENT:" + strings.Get(v.sref)); break;
      case TOK_DIN: out.push_back("DIN:" + IntegerToText(v.ival)); break;
      case TOK_AIN: out.push_back("AIN:" + IntegerToText(v.ival)); break;
      case TOK_DOUT: out.push_back("DOUT:" + IntegerToText(v.ival)); break;
      case TOK_AOUT: out.push_back("AOUT:" + IntegerToText(v.ival)); break;
      case TOK_GE: out.push_back("GE"); break;
      case TOK_LE: out.push_back("LE"); break;
      case TOK_NE: out.push_back("NE"); break;
      case TOK_POW: out.push_back("POW"); break;
      case TOK_AND: out.push_back("AND"); break;
      case TOK_ASSIGN: out.push_back("ASSIGN"); break;
      case TOK_IF: out.push_back("IF"); break;
      case TOK_MID: out.push_back("MID"); break;
      default:
        if (t < 256)
          out.push_back(std::string("'") + static_cast<char>(t) + "'");
        else
          out.push_back("KW" + std::to_string(t));
    }
  }
  return out;
}

using V = std::vector<std::string>;

TEST(ExprScanner, OperatorsTakeTheLongestMatch) {
  EXPECT_EQ(Tokens("a<>b"), (V{"IDENT:a", "NE", "IDENT:b"}));
  EXPECT_EQ(Tokens("a>=b<=c"), (V{"IDENT:a", "GE", "IDENT:b", "LE", "IDENT:c"}));
  EXPECT_EQ(Tokens("a<b"), (V{"IDENT:a", "'<'", "IDENT:b"}));
  EXPECT_EQ(Tokens("a==b"), (V{"IDENT:a", "'='", "'='", "IDENT:b"}));
  EXPECT_EQ(Tokens("x:=2**3&y"), (V{"IDENT:x", "ASSIGN", "INT:2", "POW", "INT:3", "AND", "IDENT:y"}));
  EXPECT_EQ(Tokens("AND and"), (V{"AND", "IDENT:and"}));
}

TEST(ExprScanner, CommentsAndTheirErrors) {
  EXPECT_EQ(Tokens("(**)1"), (V{"INT:1"}));
  EXPECT_EQ(Tokens("1(* a *) b *)2"), (V{"INT:1", "IDENT:b", "'*'", "')'", "INT:2"}));
  yy_scan scanner(100);
  EXPECT_EQ(Tokens("(* x", &scanner), V{});
  EXPECT_EQ(scanner.ErrorText(), "Der Ausdruck endet innerhalb eines Kommentars");
  EXPECT_EQ(scanner.ErrorPosition(), 4);
}

TEST(ExprScanner, StringLiteralsAndEscapes) {
  EXPECT_EQ(Tokens("'it$'s'"), (V{"STR:it's"}));
  EXPECT_EQ(Tokens("'a''b'"), (V{"STR:a", "STR:b"}));
  EXPECT_EQ(Tokens("'$41'"), (V{"STR:!"}));
  EXPECT_EQ(Tokens("'$x41'"), (V{"STR:A"}));
  EXPECT_EQ(Tokens("'$T$t'"), (V{"STR:T\t"}));
  EXPECT_EQ(Tokens("'$L$n$N$R$p'"), (V{"STR:\r\n\n\r\f"}));
  EXPECT_EQ(Tokens("'$x4142'"), (V{"STR:A42"}));
  EXPECT_EQ(Tokens("'$xg'"), (V{"STR:xg"}));
  EXPECT_EQ(Tokens("'$0101'"), (V{"STR:A"}));     // four octal digits
  EXPECT_EQ(Tokens("'$777'"), (V{"STR:\xFF"}));   // modulo 256
  EXPECT_EQ(Tokens("'a$\nb'"), (V{"STR:ab"}));
  EXPECT_EQ(Tokens("'$$$\"'"), (V{"STR:$\""}));
}

TEST(ExprScanner, UnterminatedStringEndsAtTheLineAndIsReported) {
  yy_scan scanner(100);
  EXPECT_EQ(Tokens("'abc\nx", &scanner), (V{"STR:abc", "IDENT:x"}));
  EXPECT_EQ(scanner.ErrorText(), "Der Ausdruck endet innerhalb eines Strings");
  yy_scan atEnd(100);
  EXPECT_EQ(Tokens("'abc", &atEnd), (V{"STR:abc"}));  // nothing is read twice
  EXPECT_EQ(atEnd.ErrorPosition(), 4);
}

TEST(ExprScanner, NumbersAndBases) {
  EXPECT_EQ(Tokens("16#ff 2#102 8#17 012 08"), (V{"INT:255", "INT:2", "INT:2", "INT:15", "INT:10", "INT:0"}));
  EXPECT_EQ(Tokens("1. .5 1.5e-3 1.e2"), (V{"REAL:1", "REAL:0.5", "REAL:0.0015", "REAL:100"}));
  EXPECT_EQ(Tokens("1e3"), (V{"INT:1", "IDENT:e3"}));
  EXPECT_EQ(Tokens("99999999999"), (V{"INT:2147483647"}));
  EXPECT_EQ(Tokens("16#FFFFFFFFFF"), (V{"INT:2147483647"}));
  yy_scan scanner(100);
  EXPECT_EQ(Tokens("10#5", &scanner), (V{"INT:10", "INT:5"}));
  EXPECT_EQ(scanner.ErrorText(), "Ung\xFCltiges Zeichen '#'=23H");
}

TEST(ExprScanner, DirectAddressesAreCaseSensitive) {
  EXPECT_EQ(Tokens("%QX12 %QA4 %I3 %IX7 %IA2 %Q1"),
            (V{"DOUT:12", "AOUT:4", "DIN:3", "DIN:7", "AIN:2", "DOUT:1"}));
  yy_scan scanner(100);
  EXPECT_EQ(Tokens("%IW1", &scanner), (V{"IDENT:IW1"}));
  EXPECT_EQ(scanner.ErrorText(), "Ung\xFCltiges Zeichen '%'=25H");
  yy_scan lower(100);
  EXPECT_EQ(Tokens("%ix1", &lower), (V{"IDENT:ix1"}));
  EXPECT_TRUE(lower.HasError());
}

TEST(ExprScanner, KeywordsConstantsAndIdentifiers) {
  EXPECT_EQ(Tokens("TRUE true FALSE Dummy FT_AllLines MIB2"),
            (V{"INT:1", "IDENT:true", "INT:0", "IDENT:Dummy", "INT:2",
               "STR:.iso.org.dod.internet.mgmt.mib-2."}));
  EXPECT_EQ(Tokens("IF MID $MESSAGE _x1 \xE4nderung \xB5s"),
            (V{"IF", "MID", "IDENT:$MESSAGE", "IDENT:_x1", "IDENT:\xE4nderung", "IDENT:\xB5s"}));
  yy_scan scanner(100);
  EXPECT_EQ(Tokens("a \xD7 b", &scanner), (V{"IDENT:a", "IDENT:b"}));  // 0xD7 is no letter
  EXPECT_EQ(scanner.ErrorText(), "Ung\xFCltiges Zeichen '\xD7'=D7H");
}

TEST(ExprScanner, DateTimeLiterals) {
  EXPECT_EQ(Tokens("DT#2019-1-2-3:4:5"), (V{"STR:DT#2019-1-2-3:4:5"}));
  EXPECT_EQ(Tokens("DT#2019-01-02"), (V{"STR:DT#2019", "'-'", "INT:1", "'-'", "INT:2"}));
  EXPECT_EQ(Tokens("DTX DT"), (V{"IDENT:DTX", "IDENT:DT"}));
  yy_scan scanner(100);
  EXPECT_EQ(Tokens("DT#NO", &scanner), (V{"IDENT:DT", "IDENT:NO"}));
  EXPECT_EQ(scanner.ErrorText(), "Ung\xFCltiges Zeichen '#'=23H");
  ASSERT_EQ(Tokens("DT#NOW").size(), 1u);
  EXPECT_EQ(Tokens("DT#NOW")[0].substr(0, 7), "STR:DT#");
}

TEST(ExprScanner, OnlyTheFirstErrorIsKeptWithTheReadIndex) {
  yy_scan scanner(100);
  // '$' needs the look-ahead "'" to be known invalid: the index counts it.
  Tokens("ab $'x' # ?", &scanner);
  EXPECT_EQ(scanner.ErrorText(), "Ung\xFCltiges Zeichen '$'=24H");
  EXPECT_EQ(scanner.ErrorPosition(), 5);
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
