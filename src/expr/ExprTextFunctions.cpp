// The text functions: LEN, LEFT, RIGHT, MID, FIND, REPLACE, REPLACEALL,
// UPPERCASE, LOWERCASE, GETCSV, FORMAT, REGEXP, SEL, SHL, SHR, EVAL.
// Positions are 1-based; out-of-range positions and counts give "".
#include <cstdint>

#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"
#include "expr/ExprFormat.h"
#include "expr/ExprParser.h"
#include "util/RegExpr.h"
#include "expr/StringStorage.h"
#include "platform/Cp1252.h"
#include "util/TextFields.h"

namespace meldrix {

ExprValue yy_parse::Len(ExprValue s) {
  if (!store_) return MakeInteger(0);
  return MakeInteger(static_cast<int32_t>(Take(s).size()));
}

ExprValue yy_parse::Left(ExprValue s, ExprValue n) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  int32_t count = Int(n);
  if (count < 1) return Str("");
  return Str(std::string_view(text).substr(0, static_cast<size_t>(count)));
}

ExprValue yy_parse::Right(ExprValue s, ExprValue n) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  int32_t count = Int(n);
  if (count < 1) return Str("");
  size_t take = std::min(text.size(), static_cast<size_t>(count));
  return Str(std::string_view(text).substr(text.size() - take));
}

ExprValue yy_parse::Mid(ExprValue s, ExprValue pos) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  int32_t start = Int(pos);
  if (start < 1 || static_cast<size_t>(start) > text.size()) return Str("");
  return Str(std::string_view(text).substr(start - 1));
}

ExprValue yy_parse::Mid(ExprValue s, ExprValue pos, ExprValue n) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  int32_t start = Int(pos);
  int32_t count = Int(n);
  if (start < 1 || static_cast<size_t>(start) > text.size() || count < 1) return Str("");
  return Str(std::string_view(text).substr(start - 1, static_cast<size_t>(count)));
}

ExprValue yy_parse::Find(ExprValue s, ExprValue sub) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  std::string needle = Take(sub);
  size_t at = text.find(needle);
  return MakeInteger(at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
}

// The replacement must end before the last byte of s; anything else leaves s
// as it is, and a new text longer than n is cut to n bytes.
ExprValue yy_parse::Replace(ExprValue s, ExprValue replacement, ExprValue n, ExprValue pos) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  std::string insert = Take(replacement);
  int64_t count = Int(n);
  int64_t start = int64_t{Int(pos)} - 1;
  if (count > 0 && start >= 0 && start + count < static_cast<int64_t>(text.size())) {
    std::string out = text.substr(0, start);
    out += std::string_view(insert).substr(0, count);
    out += std::string_view(text).substr(start + count);
    return Str(out);
  }
  return Str(text);
}

ExprValue yy_parse::ReplaceAll(ExprValue s, ExprValue from, ExprValue to) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  std::string old = Take(from);
  std::string with = Take(to);
  if (old.empty()) return Str(text);
  std::string out;
  size_t pos = 0;
  for (size_t at; (at = text.find(old, pos)) != std::string::npos; pos = at + old.size()) {
    out.append(text, pos, at - pos);
    out += with;
  }
  out.append(text, pos);
  return Str(out);
}

ExprValue yy_parse::UpperCase(ExprValue s) {
  if (!store_) return MakeInteger(0);
  return Str(Cp1252Upper(Take(s)));
}

ExprValue yy_parse::LowerCase(ExprValue s) {
  if (!store_) return MakeInteger(0);
  return Str(Cp1252Lower(Take(s)));
}

ExprValue yy_parse::GetCsv(ExprValue s, ExprValue n) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  int32_t field = Int(n);
  return Str(GetField(text, field, ',', true));
}

ExprValue yy_parse::GetCsv(ExprValue s, ExprValue n, ExprValue separator) {
  if (!store_) return MakeInteger(0);
  std::string text = Take(s);
  int32_t field = Int(n);
  std::string sep = Take(separator);
  return Str(GetField(text, field, sep.empty() ? ',' : sep[0], true));
}

ExprValue yy_parse::Format(ExprValue value, ExprValue pattern) {
  if (!store_) return MakeInteger(0);
  double number = Real(value);
  return Str(FormatNumber(number, Take(pattern)));
}

ExprValue yy_parse::RegExp(ExprValue text, ExprValue pattern, ExprValue templ) {
  if (!store_) return MakeInteger(0);
  std::string subject = Take(text);
  std::string expression = Take(pattern);
  std::string substitution = Take(templ);
  CRegExpr regexp(expression, false);
  if (!regexp.IsCompiled()) return Str("?REGEXP?");
  if (!regexp.Match(subject)) return Str("");
  return Str(regexp.Substitute(substitution));
}

ExprValue yy_parse::Sel(ExprValue c, ExprValue x, ExprValue y) {
  if (!store_) return MakeInteger(0);
  if (Int(c) != 0) {
    Release(y);
    return x;
  }
  Release(x);
  return y;
}

ExprValue yy_parse::Shl(ExprValue x, ExprValue n) {
  if (!store_) return MakeInteger(0);
  uint32_t bits = static_cast<uint32_t>(Int(x));
  uint32_t by = static_cast<uint32_t>(Int(n)) & 31u;
  return MakeInteger(static_cast<int32_t>(bits << by));
}

ExprValue yy_parse::Shr(ExprValue x, ExprValue n) {
  if (!store_) return MakeInteger(0);
  uint32_t bits = static_cast<uint32_t>(Int(x));
  uint32_t by = static_cast<uint32_t>(Int(n)) & 31u;
  return MakeInteger(static_cast<int32_t>(bits >> by));
}

// The inner expression runs on a copy of the variables, so its assignments
// are not seen outside. It acts like a function with side effects: in a
// branch that is skipped it is not run, and both the nesting and the number
// of inner runs of one evaluation are bounded.
ExprValue yy_parse::Eval(ExprValue s) {
  if (!store_) return MakeInteger(0);
  std::string expression = Take(s);
  if (skip_ || expression.empty()) return Str("");
  if (evalDepth_ >= kMaxEvalDepth) {
    return Str("");  // nested too deep: no further run
  }
  if (*evalRunsLeft_ <= 0) {
    return Str("");  // the evaluation has made all the inner runs it may
  }
  --*evalRunsLeft_;
  std::unique_ptr<CDataValueStorage> copy = store_->MakeSibling();
  store_->CopyTo(*copy);
  ExpressionRun run = RunExpression(expression, copy.get(), 100, false, evalDepth_ + 1, evalRunsLeft_);
  // Errors are not reported; the result is whatever the inner run reduced
  // last before it stopped.
  return Str(run.result);
}

}  // namespace meldrix
