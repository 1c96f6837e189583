// Helpers shared by the expression tests.
#pragma once

#include <string>
#include <vector>

#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"
#include "platform/UserInterface.h"

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

// Records every message box as "title|text|style" and answers `answer`.
class RecordingUi : public UserInterface {
 public:
  int MessageBox(const std::string& text, const std::string& title, unsigned style) override {
    shown.push_back(title + "|" + text + "|" + std::to_string(style));
    return answer;
  }
  std::vector<std::string> shown;
  int answer = kIdOk;
};

}  // namespace meldrix::test
