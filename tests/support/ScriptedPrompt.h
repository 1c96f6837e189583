// A password prompt that answers from a queue; an empty queue cancels.
#pragma once

#include <optional>
#include <queue>
#include <string>

#include "app/Password.h"

namespace meldrix::testing {

class ScriptedPrompt : public IPasswordPrompt {
 public:
  std::optional<std::string> AskPassword() override {
    ++asked;
    if (answers.empty()) return std::nullopt;
    std::string answer = answers.front();
    answers.pop();
    return answer;
  }
  void ShowIncorrect() override { ++incorrect; }

  std::queue<std::string> answers;
  int asked = 0;
  int incorrect = 0;
};

}  // namespace meldrix::testing
