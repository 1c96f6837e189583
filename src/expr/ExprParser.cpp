#include "expr/ExprParser.h"

#include "expr/DataValueStorage.h"
#include "expr/ExprNumbers.h"
#include "expr/ExprScanner.h"
#include "expr/StringStorage.h"

namespace meldrix {

// Defined with the generated tables (ExprGrammar.y).
int RunExprParser(yy_parse& parser, yy_scan& scanner);

yy_parse::yy_parse(yy_scan& scanner, CStringStorage& strings, CDataValueStorage* store,
                   int evalDepth, int* evalRunsLeft)
    : scanner_(scanner),
      strings_(strings),
      store_(store),
      evalDepth_(evalDepth),
      evalRunsLeft_(evalRunsLeft ? evalRunsLeft : &ownEvalRuns_) {}

int yy_parse::Parse() { return RunExprParser(*this, scanner_); }

std::string yy_parse::ResultText() {
  if (!hasResult_) return "";
  ExprValue copy = result_;
  switch (copy.type) {
    case kExprString: return strings_.Get(copy.sref);
    case kExprReal: return RealToText(copy.dval);
    default: return IntegerToText(copy.ival);
  }
}

void yy_parse::ReportError(const char* grammarMessage) {
  std::string_view message = grammarMessage ? grammarMessage : "";
  scanner_.Error(message == "memory exhausted" ? "Parser stack overflow" : "Syntaxfehler");
}

// ---- values ----

void yy_parse::Convert(ExprValue& v, int type) {
  if (!store_) return;  // check mode: values keep their types
  int from = v.type == kExprReal || v.type == kExprString ? v.type : kExprInteger;
  if (from == type) return;
  switch (type) {
    case kExprInteger:
      if (from == kExprReal) {
        double d = v.dval;
        // Truncation toward zero; out of range and NaN clamp instead of UB.
        v.ival = d != d ? 0 : d >= 2147483647.0 ? 2147483647 : d <= -2147483648.0 ? INT32_MIN
                                                                    : static_cast<int32_t>(d);
      } else {
        v.ival = TextToInteger(strings_.Get(v.sref));
        strings_.Release(v.sref);
        v.sref = 0;
      }
      v.type = kExprInteger;
      break;
    case kExprReal:
      if (from == kExprInteger) {
        v.dval = v.ival;
      } else {
        v.dval = TextToReal(strings_.Get(v.sref));
        strings_.Release(v.sref);
        v.sref = 0;
      }
      v.type = kExprReal;
      break;
    case kExprString:
      v.sref = strings_.Store(from == kExprReal ? RealToText(v.dval) : IntegerToText(v.ival));
      v.type = kExprString;
      break;
    default:
      break;
  }
}

int32_t yy_parse::Int(ExprValue& v) {
  Convert(v, kExprInteger);
  return v.type == kExprInteger || v.type == 0 ? v.ival : 0;
}

double yy_parse::Real(ExprValue& v) {
  Convert(v, kExprReal);
  if (v.type == kExprReal) return v.dval;
  return v.type == kExprString ? 0.0 : v.ival;
}

std::string yy_parse::Take(ExprValue& v) {
  if (!store_) {
    // Check mode: no conversion; a string stays readable, numbers read as "".
    return v.type == kExprString ? strings_.Get(v.sref) : std::string();
  }
  std::string text;
  switch (v.type) {
    case kExprString:
      text = strings_.Get(v.sref);
      strings_.Release(v.sref);
      v.sref = 0;
      break;
    case kExprReal: text = RealToText(v.dval); break;
    default: text = IntegerToText(v.ival); break;
  }
  return text;
}

ExprValue yy_parse::Str(std::string_view text) {
  ExprValue v{};
  v.type = kExprString;
  v.sref = strings_.Store(text);
  return v;
}

void yy_parse::Release(ExprValue& v) {
  if (v.type == kExprString) strings_.Release(v.sref);
  v.sref = 0;
}

std::string yy_parse::NameOf(const ExprValue& identifier) {
  std::string name = strings_.Get(identifier.sref);
  strings_.Release(identifier.sref);
  return name;
}

void yy_parse::SetResult(const ExprValue& v) {
  // A statement in a branch that is not taken leaves the result alone, so
  // "IF c THEN 'a' ELSE 'b' END_IF" yields the branch that ran.
  if (skip_) return;
  result_ = v;
  hasResult_ = true;
}

// ---- the IF statement ----

void yy_parse::IfThen(ExprValue condition) {
  bool holds = Int(condition) != 0;
  IfFrame frame{skip_, holds};
  skip_ = frame.enclosing || !holds;
  ifs_.push_back(frame);
}

void yy_parse::BeforeBranch() {
  if (ifs_.empty()) return;
  const IfFrame& frame = ifs_.back();
  skip_ = frame.enclosing || frame.chosen;
}

void yy_parse::ElsifThen(ExprValue condition) {
  bool holds = Int(condition) != 0;
  if (ifs_.empty()) return;
  IfFrame& frame = ifs_.back();
  skip_ = frame.enclosing || frame.chosen || !holds;
  if (!skip_) frame.chosen = true;
}

void yy_parse::EndIf() {
  if (ifs_.empty()) return;
  skip_ = ifs_.back().enclosing;
  ifs_.pop_back();
}

}  // namespace meldrix
