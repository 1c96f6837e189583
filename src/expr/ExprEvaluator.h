// The evaluation services: evaluate or check one expression, expand or check
// the "{{ ... }}" blocks of a configured text.
//
// Every service takes the caller's variable store: the engine passes its
// document-wide store, the message editor a fresh one. The store's evaluation
// lock is held for each whole evaluation, so evaluations against one store
// from several threads are serialised.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

class CDataValueStorage;

// Evaluates one expression (the text between the braces). An empty text
// succeeds at once and leaves result untouched. On an error "$ERROR" is set to
// the message ("Syntaxfehler @7"), which is also copied to *error, and the
// result is false.
bool EvaluateExpression(std::string_view expression, CDataValueStorage& store,
                        std::string& result, std::string* error = nullptr);

// Checks one expression without evaluating anything; the first error is shown
// in a message box. Returns 0 when there is no error, otherwise the error
// position (the text length when that position is 0). Sets "$ERROR".
int CheckExpression(std::string_view expression, CDataValueStorage& store);

// Replaces every "{{...}}" block of text by the value of its expression, or
// by "" when the evaluation fails. Blocks nest (an inner "{{"/"}}" pair does
// not end the block); results are never expanded again; a "{{" without its
// "}}" and the rest of the text stay as they are. With html, the block is
// decoded from HTML before it is evaluated and the result encoded after.
std::string ExpandText(std::string_view text, CDataValueStorage& store, bool html = false);

// Checks every block; returns the position of the first error in the whole
// text, or 0 when every block is correct.
int CheckText(std::string_view text, CDataValueStorage& store);

// One parse and evaluation without the services' set-up (EVAL uses it on a
// copy of the variables). store null means check mode. evalRunsLeft: the
// budget of EVAL runs shared with the enclosing evaluation (null: a new one).
struct ExpressionRun {
  bool failed = false;
  std::string message;  // the first error, without position
  int position = -1;
  std::string result;  // the statement reduced last, also after an error
};
ExpressionRun RunExpression(std::string_view expression, CDataValueStorage* store,
                            size_t tokenCapacity, bool checkMode, int evalDepth,
                            int* evalRunsLeft = nullptr);

}  // namespace meldrix
