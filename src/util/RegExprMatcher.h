// The backtracking matcher of the regular-expression program. It runs without
// recursion: choice points (untried alternatives, repetition counts still to
// give back) live on an explicit stack, and group positions set after a choice
// point are logged so backtracking can restore them. Both the stack and the
// work of one match are bounded, so a long text or a pathological pattern ends
// in "no match" with an error instead of exhausting the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "util/RegExprProgram.h"

namespace meldrix {

struct RegMatchLimits {
  // Choice points held at once (about 40 bytes each). A group repeated with
  // "*" or "+", like "(a|b)*", keeps one or two per repetition.
  std::size_t maxChoicePoints = 1u << 18;
  // Work of one match over all its start positions: program nodes visited
  // plus bytes scanned and given back by simple repetitions.
  std::uint64_t maxSteps = 50'000'000;
};

class CRegMatcher : public CRegProgramAccessor {
 public:
  CRegMatcher(const CRegProgram& program, std::string_view subject, RegMatchLimits limits);

  // Finds the leftmost match and fills start/end (offsets, -1 where a group
  // took no part). False on no match or error; ErrorCode() tells them apart.
  bool Run(std::array<std::ptrdiff_t, kRegGroupSlots>& start,
           std::array<std::ptrdiff_t, kRegGroupSlots>& end);
  int ErrorCode() const { return errorCode_; }

 private:
  struct Choice {
    std::size_t pos;     // input position to resume at
    std::size_t trail;   // group log length to restore
    int node;            // BRANCH: the next alternative; STAR/PLUS: the node after
    std::ptrdiff_t count;  // STAR/PLUS: next repetition count to try
    std::ptrdiff_t min;    // STAR/PLUS: fewest repetitions
    int nextByte;        // STAR/PLUS: the byte that must follow, or -1
    bool repeat;         // STAR/PLUS rather than BRANCH
  };
  struct TrailEntry {
    std::ptrdiff_t* slot;
    std::ptrdiff_t old;
  };

  bool TryAt(std::size_t pos);
  bool Interpret(int node, std::size_t pos, std::size_t& matchEnd);
  bool Backtrack(int& scan, std::size_t& input);
  bool NextRepeatCandidate(Choice& choice, std::size_t& input);
  std::size_t Repeat(int node, std::size_t pos);
  void SetGroup(std::ptrdiff_t& slot, std::ptrdiff_t value);
  bool Push(const Choice& choice);
  const char* OperandText(int node) const;

  const CRegProgram& program_;
  std::string_view subject_;
  RegMatchLimits limits_;
  std::array<std::ptrdiff_t, kRegGroupSlots> start_{};
  std::array<std::ptrdiff_t, kRegGroupSlots> end_{};
  std::vector<Choice> choices_;
  std::vector<TrailEntry> trail_;
  std::uint64_t steps_ = 0;
  int errorCode_ = -1;
};

}  // namespace meldrix
