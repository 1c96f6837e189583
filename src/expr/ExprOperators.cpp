// The operators of the expression language. Numeric type rule: integer when
// both operands are integers, otherwise real. Integer arithmetic wraps around
// in 32 bits, as it always has on the target machines, instead of overflowing.
#include <cmath>
#include <cstdint>

#include "expr/DataValueStorage.h"
#include "expr/ExprDateTime.h"
#include "expr/ExprParser.h"
#include "expr/ExprTokens.h"
#include "expr/StringStorage.h"

namespace meldrix {

namespace {

bool IsInteger(const ExprValue& v) { return v.type != kExprReal && v.type != kExprString; }

int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// Remainder with the sign of the dividend; a zero divisor gives 0.
int32_t Remainder(int32_t a, int32_t b) {
  if (b == 0 || b == -1) return 0;
  return a % b;
}

}  // namespace

ExprValue yy_parse::NumericPair(ExprValue& a, ExprValue& b) {
  int type = IsInteger(a) && IsInteger(b) ? kExprInteger : kExprReal;
  Convert(a, type);
  Convert(b, type);
  ExprValue shape{};
  shape.type = type;
  return shape;
}

ExprValue yy_parse::Or(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  return MakeInteger(Int(a) | Int(b));
}

ExprValue yy_parse::Xor(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  return MakeInteger(Int(a) ^ Int(b));
}

ExprValue yy_parse::And(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  return MakeInteger(Int(a) & Int(b));
}

ExprValue yy_parse::Equal(ExprValue a, ExprValue b, bool wantEqual) {
  if (!store_) return MakeInteger(0);
  bool equal;
  if (a.type == kExprString && b.type == kExprString) {
    equal = strings_.Get(a.sref) == strings_.Get(b.sref);
    Release(a);
    Release(b);
  } else if (NumericPair(a, b).type == kExprInteger) {
    equal = a.ival == b.ival;
  } else {
    equal = a.dval == b.dval;
  }
  return MakeInteger(equal == wantEqual ? 1 : 0);
}

ExprValue yy_parse::Compare(ExprValue a, ExprValue b, int op) {
  if (!store_) return MakeInteger(0);
  bool integer = NumericPair(a, b).type == kExprInteger;
  double x = integer ? a.ival : a.dval;
  double y = integer ? b.ival : b.dval;
  bool holds = op == '<' ? x < y : op == '>' ? x > y : op == TOK_LE ? x <= y : x >= y;
  return MakeInteger(holds ? 1 : 0);
}

ExprValue yy_parse::Add(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  if (a.type == kExprString && IsDtText(strings_.Get(a.sref))) {
    int32_t seconds = Int(b);
    std::string moved = DtAddSeconds(strings_.Get(a.sref), seconds);
    Release(a);
    return Str(moved);
  }
  if (NumericPair(a, b).type == kExprInteger)
    return MakeInteger(Wrap(int64_t{a.ival} + b.ival));
  return MakeReal(a.dval + b.dval);
}

ExprValue yy_parse::Subtract(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  if (a.type == kExprString && b.type == kExprString && IsDtText(strings_.Get(a.sref)) &&
      IsDtText(strings_.Get(b.sref))) {
    int32_t seconds = DtDifference(strings_.Get(a.sref), strings_.Get(b.sref));
    Release(a);
    Release(b);
    return MakeInteger(seconds);
  }
  if (NumericPair(a, b).type == kExprInteger)
    return MakeInteger(Wrap(int64_t{a.ival} - b.ival));
  return MakeReal(a.dval - b.dval);
}

ExprValue yy_parse::Multiply(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  if (NumericPair(a, b).type == kExprInteger)
    return MakeInteger(Wrap(int64_t{a.ival} * b.ival));
  return MakeReal(a.dval * b.dval);
}

ExprValue yy_parse::Divide(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  if (NumericPair(a, b).type == kExprInteger) {
    if (b.ival == 0) return MakeInteger(0);
    return MakeInteger(Wrap(int64_t{a.ival} / b.ival));
  }
  if (b.dval == 0.0) return MakeReal(0.0);
  return MakeReal(a.dval / b.dval);
}

ExprValue yy_parse::Modulo(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  if (NumericPair(a, b).type == kExprInteger) return MakeInteger(Remainder(a.ival, b.ival));
  int32_t x = Int(a), y = Int(b);  // both truncated first; the result stays real
  return MakeReal(Remainder(x, y));
}

ExprValue yy_parse::Power(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  double x = Real(a), y = Real(b);
  return MakeReal(std::pow(x, y));
}

ExprValue yy_parse::Negate(ExprValue a) {
  if (!store_) return MakeInteger(0);
  return MakeReal(-Real(a));
}

ExprValue yy_parse::Not(ExprValue a) {
  if (!store_) return MakeInteger(0);
  return MakeInteger(Int(a) == 0 ? 1 : 0);
}

ExprValue yy_parse::Concat(ExprValue a, ExprValue b) {
  if (!store_) return MakeInteger(0);
  std::string joined = Take(a);
  joined += Take(b);
  return Str(joined);
}

}  // namespace meldrix
