#include "util/RegExprCompiler.h"

#include <cstring>

#include "platform/Cp1252.h"

namespace meldrix {

namespace {

constexpr const char* kMeta = "^$.[()|?+*\\";

bool IsRepeat(unsigned char c) { return c == '*' || c == '+' || c == '?'; }

const char* const kErrorTexts[] = {
    "Unknown error",
    "NULL argument to regexec",
    "corrupted regexp",
    "regexp corruption",
    "corrupted pointers",
    "internal error: bad call of regrepeat",
    "corrupted opcode",
    "NULL parm to regsub",
    "damaged regexp fed to regsub",
    "damaged match string",
    "NULL argument to regcomp",
    "regexp too big",
    "too many ()",
    "unterminated ()",
    "unmatched ()",
    "internal error: junk on end",
    "*+ operand could be empty",
    "nested *?+",
    "invalid [] range",
    "unmatched []",
    "internal error: \\0|) unexpected",
    "?+* follows nothing",
    "trailing \\",
    "internal error: strcspn 0",
    "NULL regexp",
    "regexp match too deep: backtracking limit reached",
    "regexp match too long: step limit reached",
};

}  // namespace

const char* RegErrorText(int code) {
  if (code < 0 || code >= static_cast<int>(std::size(kErrorTexts))) return kErrorTexts[0];
  return kErrorTexts[code];
}

int CRegProgramAccessor::Opcode(int node) const {
  if (!code_ || node < 0 || static_cast<std::size_t>(node) >= code_->size()) return -1;
  return (*code_)[static_cast<std::size_t>(node)];
}

int CRegProgramAccessor::Next(int node) const {
  if (!code_ || node < 0 || static_cast<std::size_t>(node) + 3 > code_->size()) return kRegNoNode;
  const auto& c = *code_;
  const auto n = static_cast<std::size_t>(node);
  const int offset = c[n + 1] | (c[n + 2] << 8);
  if (offset == 0) return kRegNoNode;
  return c[n] == kRegBack ? node - offset : node + offset;
}

CRegCompilerBase::CRegCompilerBase(std::string_view pattern, const std::vector<std::uint8_t>* code)
    : CRegProgramAccessor(code), pattern_(pattern.substr(0, pattern.find('\0'))) {}

bool CRegCompilerBase::Parse(int* flags) {
  pos_ = 0;
  groups_ = 1;
  return ParseExpression(false, flags) != kRegNoNode && !HasError();
}

// expression: branch ( "|" branch )*, optionally inside a numbered group.
int CRegCompilerBase::ParseExpression(bool paren, int* flags) {
  *flags = kHasWidth;  // cleared below when a branch can be empty
  int group = 0;
  int ret = kRegNoNode;
  if (paren) {
    if (groups_ >= kRegGroupSlots) return Fail(kRegErrTooManyParens);
    group = groups_++;
    ret = EmitNode(static_cast<std::uint8_t>(kRegOpen + group));
  }

  int branchFlags = 0;
  int branch = ParseBranch(&branchFlags);
  if (branch == kRegNoNode) return kRegNoNode;
  if (ret != kRegNoNode)
    SetTail(ret, branch);
  else
    ret = branch;
  if (!(branchFlags & kHasWidth)) *flags &= ~kHasWidth;
  *flags |= branchFlags & kSpStart;
  while (Peek() == '|') {
    ++pos_;
    branch = ParseBranch(&branchFlags);
    if (branch == kRegNoNode) return kRegNoNode;
    SetTail(ret, branch);
    if (!(branchFlags & kHasWidth)) *flags &= ~kHasWidth;
    *flags |= branchFlags & kSpStart;
  }

  // Every branch ends at the group's close (or the program's end).
  const int ender = EmitNode(static_cast<std::uint8_t>(paren ? kRegClose + group : kRegEnd));
  SetTail(ret, ender);
  for (int b = ret; b != kRegNoNode; b = Next(b)) SetOperandTail(b, ender);

  if (paren) {
    if (Peek() != ')') return Fail(kRegErrUnmatchedParens);
    ++pos_;
  } else if (Peek() != 0) {
    return Fail(Peek() == ')' ? kRegErrUnmatchedParens : kRegErrJunkOnEnd);
  }
  return ret;
}

// branch: a sequence of pieces, held in one BRANCH node.
int CRegCompilerBase::ParseBranch(int* flags) {
  *flags = kWorst;
  const int ret = EmitNode(kRegBranch);
  int chain = kRegNoNode;
  while (Peek() != 0 && Peek() != '|' && Peek() != ')') {
    int pieceFlags = 0;
    const int latest = ParsePiece(&pieceFlags);
    if (latest == kRegNoNode) return kRegNoNode;
    *flags |= pieceFlags & kHasWidth;
    if (chain == kRegNoNode)
      *flags |= pieceFlags & kSpStart;
    else
      SetTail(chain, latest);
    chain = latest;
  }
  if (chain == kRegNoNode) EmitNode(kRegNothing);  // an empty branch
  return ret;
}

// piece: an atom, optionally followed by "*", "+" or "?". Simple operands get
// STAR/PLUS nodes; others are built from BRANCH loops.
int CRegCompilerBase::ParsePiece(int* flags) {
  int atomFlags = 0;
  const int ret = ParseAtom(&atomFlags);
  if (ret == kRegNoNode) return kRegNoNode;

  const unsigned char op = Peek();
  if (!IsRepeat(op)) {
    *flags = atomFlags;
    return ret;
  }
  if (!(atomFlags & kHasWidth) && op != '?') return Fail(kRegErrEmptyOperand);
  *flags = op != '+' ? (kWorst | kSpStart) : (kWorst | kHasWidth);

  if (op == '*' && (atomFlags & kSimple)) {
    InsertNode(kRegStar, ret);
  } else if (op == '*') {
    // x* becomes BRANCH(x BACK->loop) BRANCH(NOTHING)
    InsertNode(kRegBranch, ret);
    SetOperandTail(ret, EmitNode(kRegBack));
    SetOperandTail(ret, ret);
    SetTail(ret, EmitNode(kRegBranch));
    SetTail(ret, EmitNode(kRegNothing));
  } else if (op == '+' && (atomFlags & kSimple)) {
    InsertNode(kRegPlus, ret);
  } else if (op == '+') {
    // x+ becomes x BRANCH(BACK->x) BRANCH(NOTHING)
    const int next = EmitNode(kRegBranch);
    SetTail(ret, next);
    SetTail(EmitNode(kRegBack), ret);
    SetTail(next, EmitNode(kRegBranch));
    SetTail(ret, EmitNode(kRegNothing));
  } else {
    // x? becomes BRANCH(x) BRANCH(NOTHING)
    InsertNode(kRegBranch, ret);
    SetTail(ret, EmitNode(kRegBranch));
    const int next = EmitNode(kRegNothing);
    SetTail(ret, next);
    SetOperandTail(ret, next);
  }
  ++pos_;
  if (IsRepeat(Peek())) return Fail(kRegErrNestedRepeat);
  return ret;
}

int CRegCompilerBase::ParseAtom(int* flags) {
  *flags = kWorst;
  const unsigned char c = Peek();
  ++pos_;
  int ret = kRegNoNode;
  switch (c) {
    case '^':
      ret = EmitNode(kRegBol);
      break;
    case '$':
      ret = EmitNode(kRegEol);
      break;
    case '.':
      ret = EmitNode(kRegAny);
      *flags |= kHasWidth | kSimple;
      break;
    case '[': {
      if (Peek() == '^') {
        ret = EmitNode(kRegAnyBut);
        ++pos_;
      } else {
        ret = EmitNode(kRegAnyOf);
      }
      if (Peek() == ']' || Peek() == '-') {  // literal when first
        EmitByte(Peek());
        ++pos_;
      }
      while (Peek() != 0 && Peek() != ']') {
        if (Peek() == '-') {
          ++pos_;
          if (Peek() == ']' || Peek() == 0) {
            EmitByte('-');  // literal when last
          } else {
            int from = static_cast<unsigned char>(pattern_[pos_ - 2]) + 1;
            const int to = Peek();
            if (from > to + 1) return Fail(kRegErrInvalidRange);
            for (; from <= to; ++from) EmitByte(static_cast<std::uint8_t>(from));
            ++pos_;
          }
        } else {
          EmitByte(Peek());
          ++pos_;
        }
      }
      EmitByte(0);
      if (Peek() != ']') return Fail(kRegErrUnmatchedBracket);
      ++pos_;
      *flags |= kHasWidth | kSimple;
      break;
    }
    case '(': {
      int groupFlags = 0;
      ret = ParseExpression(true, &groupFlags);
      if (ret == kRegNoNode) return kRegNoNode;
      *flags |= groupFlags & (kHasWidth | kSpStart);
      break;
    }
    case 0:
    case '|':
    case ')':
      return Fail(kRegErrUnexpected);  // the callers stop before these
    case '?':
    case '+':
    case '*':
      return Fail(kRegErrFollowsNothing);
    case '\\':
      if (Peek() == 0) return Fail(kRegErrTrailingBackslash);
      ret = EmitNode(kRegExactly);
      EmitByte(Peek());
      ++pos_;
      EmitByte(0);
      *flags |= kHasWidth | kSimple;
      break;
    default: {
      // A run of ordinary bytes becomes one literal.
      --pos_;
      std::size_t len = 0;
      while (pos_ + len < pattern_.size() && !std::strchr(kMeta, pattern_[pos_ + len])) ++len;
      if (len == 0) return Fail(kRegErrStrcspn);
      // A repetition after the run applies to its last byte only.
      if (len > 1 && IsRepeat(Peek(len))) --len;
      *flags |= kHasWidth;
      if (len == 1) *flags |= kSimple;
      ret = EmitNode(kRegExactly);
      for (; len > 0; --len) {
        EmitByte(Peek());
        ++pos_;
      }
      EmitByte(0);
      break;
    }
  }
  return ret;
}

CRegCompiler::CRegCompiler(std::string_view pattern, std::vector<std::uint8_t>& code)
    : CRegCompilerBase(pattern, &code), out_(code) {
  if (!out_.empty()) out_[0] = kRegMagic;
}

bool CRegCompiler::Room(std::size_t n) {
  if (writePos_ + n <= out_.size()) return true;
  SetError(kRegErrCorruption);  // the sizing pass disagrees with this one
  return false;
}

void CRegCompiler::EmitByte(std::uint8_t b) {
  if (Room(1)) out_[writePos_++] = b;
}

int CRegCompiler::EmitNode(std::uint8_t op) {
  if (!Room(3)) return static_cast<int>(writePos_);
  const int node = static_cast<int>(writePos_);
  out_[writePos_++] = op;
  out_[writePos_++] = 0;
  out_[writePos_++] = 0;
  return node;
}

void CRegCompiler::InsertNode(std::uint8_t op, int operand) {
  if (!Room(3) || operand < 1 || static_cast<std::size_t>(operand) > writePos_) return;
  const auto at = static_cast<std::size_t>(operand);
  std::memmove(&out_[at + 3], &out_[at], writePos_ - at);
  writePos_ += 3;
  out_[at] = op;
  out_[at + 1] = 0;
  out_[at + 2] = 0;
}

void CRegCompiler::SetTail(int chain, int target) {
  if (chain < 1 || HasError()) return;
  int last = chain;
  for (int n = Next(last); n != kRegNoNode; n = Next(n)) last = n;
  const int offset = Opcode(last) == kRegBack ? last - target : target - last;
  if (offset < 0 || offset > 0xFFFF) {
    SetError(kRegErrCorruptedPointers);
    return;
  }
  const auto at = static_cast<std::size_t>(last);
  out_[at + 1] = static_cast<std::uint8_t>(offset & 0xFF);
  out_[at + 2] = static_cast<std::uint8_t>(offset >> 8);
}

void CRegCompiler::SetOperandTail(int node, int target) {
  if (node < 1 || Opcode(node) != kRegBranch) return;
  SetTail(Operand(node), target);
}

void CompileRegProgram(std::string_view pattern, CRegProgram& program) {
  program = CRegProgram{};
  program.ClearGroups();

  CRegValidator validator(pattern);
  int flags = 0;
  if (!validator.Parse(&flags)) {
    program.errorCode = validator.ErrorCode();
    return;
  }
  if (validator.Size() >= kRegMaxProgramSize) {
    program.errorCode = kRegErrTooBig;
    return;
  }

  program.code.assign(validator.Size(), 0);
  CRegCompiler compiler(pattern, program.code);
  if (!compiler.Parse(&flags) || compiler.Written() != program.code.size()) {
    program.errorCode = compiler.HasError() ? compiler.ErrorCode() : kRegErrCorruption;
    program.code.clear();
    return;
  }
  program.patternGroups = compiler.GroupCount();

  // Hints, taken from the single top-level branch when there is only one.
  const CRegProgramAccessor prog(&program.code);
  const int first = 1;
  if (prog.Opcode(prog.Next(first)) == kRegEnd) {
    int scan = CRegProgramAccessor::Operand(first);
    if (prog.Opcode(scan) == kRegExactly)
      program.firstByte = program.code[static_cast<std::size_t>(CRegProgramAccessor::Operand(scan))];
    else if (prog.Opcode(scan) == kRegBol)
      program.anchored = true;
    // A pattern that may start anywhere with a repetition still needs its
    // longest literal; searching for it first rules out most texts cheaply.
    if (flags & CRegCompilerBase::kSpStart) {
      std::string longest;
      for (; scan != kRegNoNode; scan = prog.Next(scan)) {
        if (prog.Opcode(scan) != kRegExactly) continue;
        const char* literal =
            reinterpret_cast<const char*>(&program.code[static_cast<std::size_t>(
                CRegProgramAccessor::Operand(scan))]);
        if (std::strlen(literal) >= longest.size()) longest = literal;
      }
      program.mustContain = longest;
    }
  }
  program.compiled = true;
}

std::string RegIgnoreCasePattern(std::string_view pattern) {
  std::string out;
  out.reserve(pattern.size() * 2);
  auto appendLetter = [&out](unsigned char c) {
    const unsigned char upper = Cp1252ToUpper(c);
    const unsigned char lower = Cp1252ToLower(c);
    if (upper == lower) {
      out += static_cast<char>(c);
      return false;
    }
    out += '[';
    out += static_cast<char>(upper);
    out += static_cast<char>(lower);
    out += ']';
    return true;
  };
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const auto c = static_cast<unsigned char>(pattern[i]);
    if (c == '\\' && i + 1 < pattern.size()) {
      // An escaped letter is still a letter; anything else stays escaped.
      const auto next = static_cast<unsigned char>(pattern[i + 1]);
      if (Cp1252ToUpper(next) != Cp1252ToLower(next)) {
        appendLetter(next);
      } else {
        out += '\\';
        out += static_cast<char>(next);
      }
      ++i;
    } else if (c == '[') {
      // Bracket expressions stay as written (and so stay case-sensitive).
      std::size_t j = i + 1;
      if (j < pattern.size() && pattern[j] == '^') ++j;
      if (j < pattern.size() && pattern[j] == ']') ++j;
      while (j < pattern.size() && pattern[j] != ']') ++j;
      const std::size_t stop = j < pattern.size() ? j + 1 : pattern.size();
      out.append(pattern.substr(i, stop - i));
      i = stop - 1;
    } else {
      appendLetter(c);
    }
  }
  return out;
}

}  // namespace meldrix
