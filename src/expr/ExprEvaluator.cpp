#include "expr/ExprEvaluator.h"

#include <mutex>

#include "expr/DataValueStorage.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/StringStorage.h"
#include "util/HtmlText.h"

namespace meldrix {

ExpressionRun RunExpression(std::string_view expression, CDataValueStorage* store,
                            size_t tokenCapacity, bool checkMode, int evalDepth,
                            int* evalRunsLeft) {
  CStringStorage strings;
  yy_scan scanner(tokenCapacity);
  scanner.Init(store, &strings, expression, checkMode);
  yy_parse parser(scanner, strings, store, evalDepth, evalRunsLeft);
  parser.Parse();
  ExpressionRun run;
  run.result = parser.ResultText();
  if (scanner.HasError()) {
    run.failed = true;
    run.message = scanner.ErrorText();
    run.position = scanner.ErrorPosition();
  }
  return run;
}

namespace {

size_t TopLevelCapacity(std::string_view expression) { return expression.size() * 2 + 4; }

std::string WithPosition(const ExpressionRun& run) {
  if (run.position < 0) return run.message;
  return run.message + " @" + std::to_string(run.position);
}

// Finds the "}}" that closes the "{{" at start; npos when there is none.
size_t ClosingBraces(std::string_view text, size_t start) {
  int depth = 1;
  size_t pos = start + 2;
  while (pos + 1 < text.size()) {
    if (text[pos] == '{' && text[pos + 1] == '{') {
      ++depth;
      pos += 2;
    } else if (text[pos] == '}' && text[pos + 1] == '}') {
      if (--depth == 0) return pos;
      pos += 2;
    } else {
      ++pos;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool EvaluateExpression(std::string_view expression, CDataValueStorage& store,
                        std::string& result, std::string* error) {
  if (expression.empty()) return true;
  std::lock_guard lock(store.EvaluationLock());
  store.ClearError();
  ExpressionRun run =
      RunExpression(expression, &store, TopLevelCapacity(expression), false, 0);
  if (run.failed) {
    std::string message = WithPosition(run);
    store.SetError(message);
    if (error) *error = message;
    return false;
  }
  result = std::move(run.result);
  return true;
}

int CheckExpression(std::string_view expression, CDataValueStorage& store) {
  if (expression.empty()) return 0;
  std::lock_guard lock(store.EvaluationLock());
  store.ClearError();
  ExpressionRun run = RunExpression(expression, nullptr, TopLevelCapacity(expression), true, 0);
  if (!run.failed) return 0;
  store.SetError(WithPosition(run));
  return run.position > 0 ? run.position : static_cast<int>(expression.size());
}

std::string ExpandText(std::string_view text, CDataValueStorage& store, bool html) {
  store.ClearError();
  std::string out;
  // Each evaluation starts by clearing "$ERROR"; the first failure of the
  // text is put back at the end so that a later block does not hide it.
  std::string firstError;
  size_t pos = 0;
  for (;;) {
    size_t open = text.find("{{", pos);
    if (open == std::string_view::npos) break;
    size_t close = ClosingBraces(text, open);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::string inner(text.substr(open + 2, close - open - 2));
    if (html) inner = HtmlToText(inner);
    std::string value;
    if (!EvaluateExpression(inner, store, value)) value.clear();
    if (firstError.empty()) firstError = store.LastError();
    if (html) value = TextToHtml(value, value.find('\t') != std::string::npos);
    out += value;
    pos = close + 2;
  }
  out.append(text.substr(pos));
  if (!firstError.empty() && store.LastError() != firstError) store.SetError(firstError);
  return out;
}

int CheckText(std::string_view text, CDataValueStorage& store) {
  size_t pos = 0;
  for (;;) {
    size_t open = text.find("{{", pos);
    if (open == std::string_view::npos) return 0;
    size_t close = ClosingBraces(text, open);
    if (close == std::string_view::npos) return 0;
    int position = CheckExpression(text.substr(open + 2, close - open - 2), store);
    if (position != 0) return static_cast<int>(open + 2) + position;
    pos = close + 2;
  }
}

}  // namespace meldrix
