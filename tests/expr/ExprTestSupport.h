// Helpers shared by the expression tests.
#pragma once

#include <string>

#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"

namespace meldrix::test {

// The result of an evaluation, or "ERR:" and the message ("ERR:Syntaxfehler @3").
inline std::string Eval(const std::string& expression, CDataValueStorage& store) {
  std::string result, error;
  if (!EvaluateExpression(expression, store, result, &error)) return "ERR:" + error;
  return result;
}

inline std::string Eval(const std::string& expression) {
  CDataValueStorage store(false);
  return Eval(expression, store);
}

}  // namespace meldrix::test
