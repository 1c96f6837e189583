// A compiled regular expression with match, groups and substitution.
//
// Syntax: branches separated by "|"; pieces are atoms optionally followed by
// "*", "+" or "?" (greedy); atoms are "^", "$", ".", "[set]" / "[^set]" with
// ranges, "(group)" (1..9), "\x" for the byte x, and ordinary bytes. Texts are
// Windows-1252 bytes. Errors never throw: they are kept as an error text.
//
// Copies share the compiled program; the first match on a shared program
// makes a private copy first, so copies may be matched on different threads.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "util/RegExprMatcher.h"
#include "util/RegExprProgram.h"

namespace meldrix {

class CRegExpr {
 public:
  CRegExpr() = default;  // no program: every use reports "NULL regexp"
  // With ignoreCase, letters outside bracket expressions match either case.
  explicit CRegExpr(std::string_view pattern, bool ignoreCase = false);

  bool Compile(std::string_view pattern, bool ignoreCase = false);
  bool IsCompiled() const { return program_ && program_->compiled; }

  // Searches text for the leftmost match and records its groups.
  bool Match(std::string_view text);
  // A null text is an error ("NULL argument to regexec").
  bool Match(const char* text);

  // Text of group i (0 = whole match) of the last match; empty when the group
  // took no part or i is outside 0..9.
  std::string GroupText(int i);
  // Bytes of group i; 0 when it took no part, -1 without a program or for i
  // outside 0..9.
  int GroupLength(int i) const;
  // Group slots of the last match (1 + the pattern's groups), 0 without one.
  int GroupCount() const;

  // Expands tmpl with the last match: "&" the whole match, "\n" group n,
  // "\\" a backslash, "\&" an ampersand.
  std::string Substitute(std::string_view tmpl);

  // The last error of this object or of its program; empty without one.
  std::string ErrorText() const;
  int ErrorCode() const;

  // Tests and special callers may tighten or widen the matcher's bounds.
  void SetMatchLimits(RegMatchLimits limits) { limits_ = limits; }

 private:
  bool GroupRange(int i, std::size_t& start, std::size_t& length) const;
  CRegProgram* PrivateProgram();

  std::shared_ptr<CRegProgram> program_;
  std::string subject_;  // the text of the last match
  int errorCode_ = -1;
  RegMatchLimits limits_;
};

}  // namespace meldrix
