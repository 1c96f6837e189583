#include "util/RegExpr.h"

#include <atomic>

#include "util/RegExprCompiler.h"

namespace meldrix {

CRegExpr::CRegExpr(std::string_view pattern, bool ignoreCase) { Compile(pattern, ignoreCase); }

bool CRegExpr::Compile(std::string_view pattern, bool ignoreCase) {
  auto program = std::make_shared<CRegProgram>();
  CompileRegProgram(ignoreCase ? std::string_view(RegIgnoreCasePattern(pattern)) : pattern,
                    *program);
  program_ = std::move(program);
  subject_.clear();
  errorCode_ = -1;
  return program_->compiled;
}

CRegProgram* CRegExpr::PrivateProgram() {
  if (program_.use_count() > 1) {
    // Others hold this program; they only read it, so copying is safe.
    program_ = std::make_shared<CRegProgram>(*program_);
  } else {
    // Pairs with the release in the other owners' reference drop: their last
    // reads of the program happen before our writes.
    std::atomic_thread_fence(std::memory_order_acquire);
  }
  return program_.get();
}

bool CRegExpr::Match(const char* text) {
  if (!text) {
    errorCode_ = kRegErrNullExec;
    if (program_) PrivateProgram()->ClearGroups();
    return false;
  }
  return Match(std::string_view(text));
}

bool CRegExpr::Match(std::string_view text) {
  errorCode_ = -1;
  if (!IsCompiled()) {
    errorCode_ = kRegErrNullRegexp;
    return false;
  }
  CRegProgram* program = PrivateProgram();
  program->ClearGroups();
  subject_.assign(text);
  CRegMatcher matcher(*program, subject_, limits_);
  if (!matcher.Run(program->start, program->end)) {
    errorCode_ = matcher.ErrorCode();
    return false;
  }
  program->groupCount = 1 + program->patternGroups;
  return true;
}

bool CRegExpr::GroupRange(int i, std::size_t& start, std::size_t& length) const {
  if (!program_ || i < 0 || i >= kRegGroupSlots) return false;
  const auto s = program_->start[static_cast<std::size_t>(i)];
  const auto e = program_->end[static_cast<std::size_t>(i)];
  if (s < 0 || e < s || static_cast<std::size_t>(e) > subject_.size()) return false;
  start = static_cast<std::size_t>(s);
  length = static_cast<std::size_t>(e - s);
  return true;
}

std::string CRegExpr::GroupText(int i) {
  if (!IsCompiled()) {
    errorCode_ = kRegErrNullRegexp;
    return {};
  }
  std::size_t start = 0, length = 0;
  if (!GroupRange(i, start, length)) return {};
  return subject_.substr(start, length);
}

int CRegExpr::GroupLength(int i) const {
  if (!IsCompiled() || i < 0 || i >= kRegGroupSlots) return -1;
  std::size_t start = 0, length = 0;
  if (!GroupRange(i, start, length)) return 0;
  return static_cast<int>(length);
}

int CRegExpr::GroupCount() const { return program_ ? program_->groupCount : 0; }

std::string CRegExpr::Substitute(std::string_view tmpl) {
  if (!IsCompiled()) {
    errorCode_ = kRegErrNullRegexp;
    return {};
  }
  std::string out;
  out.reserve(tmpl.size());
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    char c = tmpl[i];
    const char next = i + 1 < tmpl.size() ? tmpl[i + 1] : '\0';
    int group = -1;
    if (c == '&') {
      group = 0;
    } else if (c == '\\' && next >= '0' && next <= '9') {
      group = next - '0';
      ++i;
    }
    if (group < 0) {
      if (c == '\\' && (next == '\\' || next == '&')) {
        c = next;
        ++i;
      }
      out += c;
      continue;
    }
    std::size_t start = 0, length = 0;
    if (GroupRange(group, start, length)) out.append(subject_, start, length);
  }
  return out;
}

int CRegExpr::ErrorCode() const {
  if (errorCode_ >= 0) return errorCode_;
  if (!program_) return -1;
  return program_->errorCode;
}

std::string CRegExpr::ErrorText() const {
  const int code = ErrorCode();
  return code >= 0 ? RegErrorText(code) : "";
}

}  // namespace meldrix
