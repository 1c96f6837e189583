// The compiled form of a regular expression: a byte program of nodes plus the
// hints that let a match skip hopeless positions, and the groups of the last
// match. Node layout: opcode byte, 16-bit little-endian offset to the next node
// (0 = none; a BACK node's offset counts backwards), then the operand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace meldrix {

enum RegOpcode : std::uint8_t {
  kRegEnd = 0,       // end of the program: match
  kRegBol = 1,       // start of the text
  kRegEol = 2,       // end of the text
  kRegAny = 3,       // any one byte
  kRegAnyOf = 4,     // one byte of the zero-terminated set
  kRegAnyBut = 5,    // one byte not in the zero-terminated set
  kRegBranch = 6,    // alternative: try the operand, else the next BRANCH
  kRegBack = 7,      // loop back (next offset counts backwards)
  kRegExactly = 8,   // the zero-terminated literal string
  kRegNothing = 9,   // empty, joins branches
  kRegStar = 10,     // simple operand, 0 or more times, greedy
  kRegPlus = 11,     // simple operand, 1 or more times, greedy
  kRegOpen = 20,     // kRegOpen + n: group n starts here (1..9)
  kRegClose = 30,    // kRegClose + n: group n ends here
};

inline constexpr std::uint8_t kRegMagic = 0x9C;
inline constexpr int kRegGroupSlots = 10;  // slot 0 is the whole match, 1..9 the groups
inline constexpr std::size_t kRegMaxProgramSize = 32767;
inline constexpr int kRegNoNode = -1;

// Error codes; RegErrorText gives the engine's text for each.
enum RegError : int {
  kRegErrUnknown = 0,
  kRegErrNullExec = 1,
  kRegErrCorrupted = 2,
  kRegErrCorruption = 3,
  kRegErrCorruptedPointers = 4,
  kRegErrBadRepeat = 5,
  kRegErrCorruptedOpcode = 6,
  kRegErrNullSub = 7,
  kRegErrDamagedSub = 8,
  kRegErrDamagedMatch = 9,
  kRegErrNullComp = 10,
  kRegErrTooBig = 11,
  kRegErrTooManyParens = 12,
  kRegErrUnterminatedParens = 13,
  kRegErrUnmatchedParens = 14,
  kRegErrJunkOnEnd = 15,
  kRegErrEmptyOperand = 16,
  kRegErrNestedRepeat = 17,
  kRegErrInvalidRange = 18,
  kRegErrUnmatchedBracket = 19,
  kRegErrUnexpected = 20,
  kRegErrFollowsNothing = 21,
  kRegErrTrailingBackslash = 22,
  kRegErrStrcspn = 23,
  kRegErrNullRegexp = 24,
  // The matcher's bounds: a match that would need more backtracking state or
  // more steps than allowed ends as "no match" with one of these.
  kRegErrBacktrackLimit = 25,
  kRegErrStepLimit = 26,
};

const char* RegErrorText(int code);

// Reads nodes of a program buffer. Without a buffer (the sizing pass) every
// node has no successor.
class CRegProgramAccessor {
 public:
  explicit CRegProgramAccessor(const std::vector<std::uint8_t>* code = nullptr) : code_(code) {}
  virtual ~CRegProgramAccessor() = default;

  int Opcode(int node) const;
  // Position of the next node, or kRegNoNode.
  int Next(int node) const;
  static int Operand(int node) { return node + 3; }

 protected:
  const std::vector<std::uint8_t>* code_;
};

// One compiled pattern and the result of its last match.
struct CRegProgram {
  std::vector<std::uint8_t> code;  // magic byte, then nodes
  int firstByte = -1;              // the byte every match starts with, or -1
  bool anchored = false;           // the program begins with BOL
  std::string mustContain;         // a literal every match contains, or empty
  bool compiled = false;
  int errorCode = -1;  // -1: no error
  // Last match: byte offsets into the subject, -1 where a group took no part.
  std::array<std::ptrdiff_t, kRegGroupSlots> start{};
  std::array<std::ptrdiff_t, kRegGroupSlots> end{};
  int groupCount = 0;  // slots of the last match (1 + groups of the pattern), 0 without a match
  int patternGroups = 0;

  void ClearGroups() {
    start.fill(-1);
    end.fill(-1);
    groupCount = 0;
  }
};

}  // namespace meldrix
