// yy_parse: the LALR(1) parser of the expression language. It evaluates while
// it parses: every grammar action runs when its rule is reduced, so the order
// of evaluation is the left-to-right order of reductions. The tables come from
// ExprGrammar.y (GNU Bison, pure push parser); the actions call the methods
// below.
//
// Without a variable store (check mode) nothing is evaluated: conversions do
// nothing, reads give 0 and no side effect happens. The skip flag does the
// same for the branches of an IF statement that are not taken, while
// arithmetic and string operations are still computed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "expr/ExprValue.h"

namespace meldrix {

class CDataValueStorage;
class CStringStorage;
class yy_scan;

class yy_parse {
 public:
  static constexpr int kStackSize = 150;
  // EVAL nests evaluations; deeper nesting yields "" instead of recursing on.
  static constexpr int kMaxEvalDepth = 16;
  // Inner runs one evaluation may make at all depths together; an EVAL
  // beyond them yields "" as well. The depth alone does not bound the work:
  // x := 'EVAL(x) + EVAL(x) + EVAL(x)'; EVAL(x) would run 3^16 times.
  static constexpr int kMaxEvalRuns = 256;

  // store is null in check mode. evalRunsLeft is the budget of inner runs
  // the whole evaluation shares; null gives this parse a budget of its own.
  yy_parse(yy_scan& scanner, CStringStorage& strings, CDataValueStorage* store,
           int evalDepth = 0, int* evalRunsLeft = nullptr);

  // Parses and evaluates the scanner's text. Returns 0 when the text was
  // accepted; errors are in the scanner's error record.
  int Parse();
  // The value of the statement reduced last, as text.
  std::string ResultText();

  // ---- used by the grammar actions ----
  void ReportError(const char* grammarMessage);
  bool Active() const { return store_ != nullptr && !skip_; }
  bool Skipping() const { return skip_; }

  // Conversions (in place; nothing happens in check mode).
  void Convert(ExprValue& v, int type);
  int32_t Int(ExprValue& v);
  double Real(ExprValue& v);
  // The value as text; a string is released from the store.
  std::string Take(ExprValue& v);
  ExprValue Str(std::string_view text);
  void Release(ExprValue& v);
  std::string NameOf(const ExprValue& identifier);

  // Operators.
  ExprValue Or(ExprValue a, ExprValue b);
  ExprValue Xor(ExprValue a, ExprValue b);
  ExprValue And(ExprValue a, ExprValue b);
  ExprValue Equal(ExprValue a, ExprValue b, bool wantEqual);
  ExprValue Compare(ExprValue a, ExprValue b, int op);  // '<', '>', TOK_LE, TOK_GE
  ExprValue Add(ExprValue a, ExprValue b);
  ExprValue Subtract(ExprValue a, ExprValue b);
  ExprValue Multiply(ExprValue a, ExprValue b);
  ExprValue Divide(ExprValue a, ExprValue b);
  ExprValue Modulo(ExprValue a, ExprValue b);
  ExprValue Power(ExprValue a, ExprValue b);
  ExprValue Negate(ExprValue a);
  ExprValue Not(ExprValue a);
  ExprValue Concat(ExprValue a, ExprValue b);

  // Operands that read variables and the outside world.
  ExprValue ReadIdent(ExprValue name);
  ExprValue ReadIndexed(ExprValue name, ExprValue index);
  ExprValue ReadVar(ExprValue name);
  ExprValue ReadDin(ExprValue channel);
  ExprValue ReadDout(ExprValue channel);
  ExprValue ReadDde(ExprValue service, ExprValue topic, ExprValue item);
  ExprValue ReadOpc(ExprValue server, ExprValue item);

  // Statements.
  void ExpressionStatement(ExprValue v);
  void AssignIdent(ExprValue name, ExprValue v);
  void AssignIndexed(ExprValue name, ExprValue index, ExprValue v);
  void AssignVar(ExprValue name, ExprValue v);
  void AssignDbField(ExprValue name, ExprValue v);
  void AssignDout(ExprValue channel, ExprValue v);
  void AssignAout(ExprValue channel, ExprValue v);
  void AssignDde(ExprValue service, ExprValue topic, ExprValue item, ExprValue v);
  void AssignOpc(ExprValue server, ExprValue item, ExprValue v);
  void DdeExec(ExprValue service, ExprValue topic, ExprValue command);
  void ClrVar(ExprValue name);

  // IF statement and the skip flag.
  void IfThen(ExprValue condition);
  void BeforeBranch();  // before ELSIF and ELSE
  void ElsifThen(ExprValue condition);
  void EndIf();

  // Text functions.
  ExprValue Len(ExprValue s);
  ExprValue Left(ExprValue s, ExprValue n);
  ExprValue Right(ExprValue s, ExprValue n);
  ExprValue Mid(ExprValue s, ExprValue pos);
  ExprValue Mid(ExprValue s, ExprValue pos, ExprValue n);
  ExprValue Find(ExprValue s, ExprValue sub);
  ExprValue Replace(ExprValue s, ExprValue replacement, ExprValue n, ExprValue pos);
  ExprValue ReplaceAll(ExprValue s, ExprValue from, ExprValue to);
  ExprValue UpperCase(ExprValue s);
  ExprValue LowerCase(ExprValue s);
  ExprValue GetCsv(ExprValue s, ExprValue n);
  ExprValue GetCsv(ExprValue s, ExprValue n, ExprValue separator);
  ExprValue Format(ExprValue value, ExprValue pattern);
  ExprValue RegExp(ExprValue text, ExprValue pattern, ExprValue templ);
  ExprValue Sel(ExprValue c, ExprValue x, ExprValue y);
  ExprValue Shl(ExprValue x, ExprValue n);
  ExprValue Shr(ExprValue x, ExprValue n);
  ExprValue Eval(ExprValue s);

  // System functions.
  ExprValue FileText(ExprValue file);
  ExprValue FileText(ExprValue file, ExprValue mode);
  ExprValue IniLookup(ExprValue section, ExprValue file, ExprValue key);
  ExprValue IniWrite(ExprValue file, ExprValue section, ExprValue key, ExprValue value);
  ExprValue Execute(ExprValue command);
  ExprValue Execute(ExprValue command, ExprValue show);
  ExprValue MessageBox(ExprValue text, ExprValue style);
  ExprValue QImpulse(ExprValue channel, ExprValue time);
  ExprValue DbField(ExprValue name);
  // The database and network functions that take no action: the arguments
  // are converted (to string, or integer where intArgument says so) and
  // released; the result is the fixed value.
  ExprValue NoAction(std::vector<ExprValue> args, bool stringResult, int intArgument = -1,
                     bool zeroWhenSkipped = false);

 private:
  void SetResult(const ExprValue& v);
  void StoreVariable(const std::string& name, ExprValue& v, bool refuseSystem);
  std::string IndexedName(ExprValue& name, ExprValue& index);
  ExprValue NumericPair(ExprValue& a, ExprValue& b);  // type both operands share

  struct IfFrame {
    bool enclosing;
    bool chosen;
  };

  yy_scan& scanner_;
  CStringStorage& strings_;
  CDataValueStorage* store_;
  int evalDepth_;
  int ownEvalRuns_ = kMaxEvalRuns;
  int* evalRunsLeft_;
  bool skip_ = false;
  std::vector<IfFrame> ifs_;
  ExprValue result_{};
  bool hasResult_ = false;
};

}  // namespace meldrix
