#include "util/RegExprMatcher.h"

#include <cstring>

namespace meldrix {

CRegMatcher::CRegMatcher(const CRegProgram& program, std::string_view subject,
                         RegMatchLimits limits)
    : CRegProgramAccessor(&program.code), program_(program), subject_(subject), limits_(limits) {}

bool CRegMatcher::Run(std::array<std::ptrdiff_t, kRegGroupSlots>& start,
                      std::array<std::ptrdiff_t, kRegGroupSlots>& end) {
  start.fill(-1);
  end.fill(-1);
  if (program_.code.size() < 2 || program_.code[0] != kRegMagic) {
    errorCode_ = kRegErrCorrupted;
    return false;
  }
  // A literal that every match contains rules the text out in one search.
  if (!program_.mustContain.empty() && subject_.find(program_.mustContain) == subject_.npos)
    return false;

  bool found = false;
  if (program_.anchored) {
    found = TryAt(0);
  } else if (program_.firstByte >= 0) {
    const char first = static_cast<char>(program_.firstByte);
    for (std::size_t p = subject_.find(first); p != subject_.npos && errorCode_ < 0;
         p = subject_.find(first, p + 1)) {
      if ((found = TryAt(p))) break;
    }
  } else {
    // Every position, the end of the text included.
    for (std::size_t p = 0; p <= subject_.size() && errorCode_ < 0; ++p) {
      if ((found = TryAt(p))) break;
    }
  }
  if (found) {
    start = start_;
    end = end_;
  }
  return found;
}

bool CRegMatcher::TryAt(std::size_t pos) {
  start_.fill(-1);
  end_.fill(-1);
  choices_.clear();
  trail_.clear();
  std::size_t matchEnd = 0;
  if (!Interpret(1, pos, matchEnd)) return false;
  start_[0] = static_cast<std::ptrdiff_t>(pos);
  end_[0] = static_cast<std::ptrdiff_t>(matchEnd);
  return true;
}

const char* CRegMatcher::OperandText(int node) const {
  return reinterpret_cast<const char*>(program_.code.data() + Operand(node));
}

void CRegMatcher::SetGroup(std::ptrdiff_t& slot, std::ptrdiff_t value) {
  // Only a choice point can take us back past this; without one nothing to undo.
  if (!choices_.empty()) trail_.push_back({&slot, slot});
  slot = value;
}

bool CRegMatcher::Push(const Choice& choice) {
  if (choices_.size() >= limits_.maxChoicePoints || trail_.size() >= 4 * limits_.maxChoicePoints) {
    errorCode_ = kRegErrBacktrackLimit;
    return false;
  }
  choices_.push_back(choice);
  return true;
}

// Takes the next repetition count of a STAR/PLUS choice, longest first, whose
// following byte can start the rest of the program.
bool CRegMatcher::NextRepeatCandidate(Choice& choice, std::size_t& input) {
  while (choice.count >= choice.min) {
    ++steps_;  // counted: a long run given back byte by byte is real work
    const std::size_t p = choice.pos + static_cast<std::size_t>(choice.count--);
    if (choice.nextByte < 0 ||
        (p < subject_.size() && static_cast<unsigned char>(subject_[p]) == choice.nextByte)) {
      input = p;
      return true;
    }
  }
  return false;
}

// Resumes at the most recent choice point; false when none is left.
bool CRegMatcher::Backtrack(int& scan, std::size_t& input) {
  while (!choices_.empty()) {
    Choice& top = choices_.back();
    while (trail_.size() > top.trail) {
      *trail_.back().slot = trail_.back().old;
      trail_.pop_back();
    }
    if (top.repeat) {
      if (NextRepeatCandidate(top, input)) {
        scan = top.node;
        if (top.count < top.min) choices_.pop_back();
        return true;
      }
      choices_.pop_back();
      continue;
    }
    const int alternative = top.node;
    input = top.pos;
    const int following = Next(alternative);
    if (Opcode(following) == kRegBranch)
      top.node = following;
    else
      choices_.pop_back();
    scan = Operand(alternative);
    return true;
  }
  return false;
}

std::size_t CRegMatcher::Repeat(int node, std::size_t pos) {
  const std::size_t size = subject_.size();
  std::size_t p = pos;
  switch (Opcode(node)) {
    case kRegAny:
      p = size;
      break;
    case kRegExactly: {
      const char c = OperandText(node)[0];
      while (p < size && subject_[p] == c) ++p;
      break;
    }
    case kRegAnyOf:
    case kRegAnyBut: {
      const char* set = OperandText(node);
      const bool wanted = Opcode(node) == kRegAnyOf;
      while (p < size) {
        const bool inSet = subject_[p] != 0 && std::strchr(set, subject_[p]) != nullptr;
        if (inSet != wanted) break;
        ++p;
      }
      break;
    }
    default:
      errorCode_ = kRegErrBadRepeat;
      return 0;
  }
  steps_ += p - pos;
  return p - pos;
}

bool CRegMatcher::Interpret(int node, std::size_t pos, std::size_t& matchEnd) {
  const std::size_t size = subject_.size();
  int scan = node;
  std::size_t input = pos;
  for (;;) {
    if (++steps_ > limits_.maxSteps) {
      errorCode_ = kRegErrStepLimit;
      return false;
    }
    const int op = Opcode(scan);
    int next = Next(scan);
    bool ok = true;
    switch (op) {
      case kRegBol:
        ok = input == 0;
        break;
      case kRegEol:
        ok = input == size;
        break;
      case kRegAny:
        ok = input < size;
        if (ok) ++input;
        break;
      case kRegExactly: {
        const char* literal = OperandText(scan);
        const std::size_t len = std::strlen(literal);
        ok = subject_.substr(input).starts_with(std::string_view(literal, len));
        if (ok) input += len;
        break;
      }
      case kRegAnyOf:
      case kRegAnyBut: {
        ok = input < size;
        if (ok) {
          const bool inSet =
              subject_[input] != 0 && std::strchr(OperandText(scan), subject_[input]) != nullptr;
          ok = inSet == (op == kRegAnyOf);
          if (ok) ++input;
        }
        break;
      }
      case kRegNothing:
      case kRegBack:
        break;
      case kRegBranch:
        if (Opcode(next) == kRegBranch) {
          // Later alternatives wait on the stack, tried in order on failure.
          if (!Push({input, trail_.size(), next, 0, 0, -1, false})) return false;
        }
        next = Operand(scan);
        break;
      case kRegStar:
      case kRegPlus: {
        Choice choice{input, trail_.size(), next, 0, op == kRegStar ? 0 : 1, -1, true};
        if (Opcode(next) == kRegExactly)
          choice.nextByte = static_cast<unsigned char>(OperandText(next)[0]);
        choice.count = static_cast<std::ptrdiff_t>(Repeat(Operand(scan), input));
        if (errorCode_ >= 0) return false;
        ok = NextRepeatCandidate(choice, input);
        if (ok && choice.count >= choice.min && !Push(choice)) return false;
        break;
      }
      case kRegEnd:
        matchEnd = input;
        return true;
      default:
        if (op >= kRegOpen + 1 && op < kRegOpen + kRegGroupSlots) {
          SetGroup(start_[static_cast<std::size_t>(op - kRegOpen)], static_cast<std::ptrdiff_t>(input));
        } else if (op >= kRegClose + 1 && op < kRegClose + kRegGroupSlots) {
          SetGroup(end_[static_cast<std::size_t>(op - kRegClose)], static_cast<std::ptrdiff_t>(input));
        } else {
          errorCode_ = kRegErrCorruptedOpcode;
          return false;
        }
        break;
    }
    if (!ok) {
      if (!Backtrack(scan, input)) return false;
      continue;
    }
    if (next == kRegNoNode) {
      errorCode_ = kRegErrCorruptedPointers;
      return false;
    }
    scan = next;
  }
}

}  // namespace meldrix
