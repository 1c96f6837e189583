// The regular-expression compiler and matcher, as filters and REGEXP use
// them. Input: flags, pattern length, template length, then pattern,
// template and the text matched. Flag bit 0 ignores case; bit 1 keeps the
// program's choice-point limit with a step limit of 200000, else bits 2-7
// tighten both so they are met within a short run. (The program's own step
// limit of 50 million takes about 0.4 s in a release build and several
// seconds under the sanitizers, beyond the 1 s time-out per input.)
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "util/RegExpr.h"
#include "util/RegExprMatcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::LimitCounts::Watch("regexp step limit");
  fuzz::LimitCounts::Watch("regexp choice-point limit");
  if (size < 3) return 0;
  const unsigned flags = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::string_view pattern = rest.substr(0, data[1]);
  rest.remove_prefix(pattern.size());
  const std::string_view tmpl = rest.substr(0, data[2]);
  rest.remove_prefix(tmpl.size());
  const std::string_view subject = rest;

  CRegExpr expr(pattern, (flags & 1) != 0);
  if (!expr.IsCompiled()) {
    if (expr.ErrorText().empty()) std::abort();  // a failed compile says why
    return 0;
  }
  RegMatchLimits limits;
  if ((flags & 2) == 0) {
    limits.maxChoicePoints = std::size_t{4} << ((flags >> 2) & 7);
    limits.maxSteps = std::uint64_t{200} << ((flags >> 5) & 7);
  } else {
    limits.maxSteps = 200'000;
  }
  expr.SetMatchLimits(limits);
  const bool matched = expr.Match(subject);
  if (expr.ErrorCode() == kRegErrStepLimit) fuzz::LimitCounts::Met("regexp step limit");
  if (expr.ErrorCode() == kRegErrBacktrackLimit) fuzz::LimitCounts::Met("regexp choice-point limit");
  const int groups = expr.GroupCount();
  if (matched) {
    for (int i = 0; i < groups; ++i) {
      const std::string group = expr.GroupText(i);
      if (static_cast<int>(group.size()) != std::max(0, expr.GroupLength(i))) std::abort();
      if (group.size() > subject.size()) std::abort();
    }
    (void)expr.Substitute(tmpl);
  }
  // A copy shares the program and matches on its own.
  CRegExpr copy = expr;
  (void)copy.Match(tmpl);
  (void)expr.ErrorText();
  return 0;
}
