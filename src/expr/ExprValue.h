// The value record that travels on the parser's value stack and carries token
// values from the scanner. Kept trivially copyable: the generated parser copies
// records freely, so strings live in the evaluation's CStringStorage and the
// record only holds a reference to them.
#pragma once

#include <cstdint>

namespace meldrix {

enum ExprType : int32_t { kExprInteger = 1, kExprReal = 2, kExprString = 3 };

// A trivial aggregate (the parser keeps these in raw stacks); create records
// value-initialised, ExprValue{}, which is the integer 0.
struct ExprValue {
  int32_t type;  // ExprType; 0 only in a value-initialised record (reads as integer 0)
  int32_t ival;  // integers; the channel of %I/%Q addresses
  double dval;
  uint32_t sref;  // reference into the string store; 0 is "absent"; names of identifiers
};

inline ExprValue MakeInteger(int32_t value) {
  ExprValue v{};
  v.type = kExprInteger;
  v.ival = value;
  return v;
}

inline ExprValue MakeReal(double value) {
  ExprValue v{};
  v.type = kExprReal;
  v.dval = value;
  return v;
}

}  // namespace meldrix
