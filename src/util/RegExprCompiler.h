// Two-pass compile of a regular expression: CRegValidator parses and measures
// the program, CRegCompiler parses again and writes it into a buffer of exactly
// that size. Both share the parser of CRegCompilerBase.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/RegExprProgram.h"

namespace meldrix {

class CRegErrorHandler {
 public:
  void SetError(int code) {
    if (errorCode_ < 0) errorCode_ = code;  // the first error is the cause
  }
  bool HasError() const { return errorCode_ >= 0; }
  int ErrorCode() const { return errorCode_; }
  std::string ErrorText() const { return HasError() ? RegErrorText(errorCode_) : ""; }

 private:
  int errorCode_ = -1;
};

class CRegCompilerBase : public CRegProgramAccessor, public CRegErrorHandler {
 public:
  // The pattern is read up to its first zero byte, as a C string would be.
  explicit CRegCompilerBase(std::string_view pattern,
                            const std::vector<std::uint8_t>* code = nullptr);
  // Parses the whole pattern; false on error. flags receives the parse flags
  // of the top level.
  bool Parse(int* flags);
  int GroupCount() const { return groups_ - 1; }

  // Parse flags of a sub-expression.
  static constexpr int kWorst = 0;      // nothing known
  static constexpr int kHasWidth = 1;   // never matches the empty string
  static constexpr int kSimple = 2;     // one byte wide, fit for STAR/PLUS
  static constexpr int kSpStart = 4;    // starts with * or +

 protected:
  // The emit operations, in slot order.
  virtual void EmitByte(std::uint8_t b) = 0;
  virtual int EmitNode(std::uint8_t op) = 0;
  virtual void InsertNode(std::uint8_t op, int operand) = 0;
  virtual void SetTail(int chain, int target) = 0;
  virtual void SetOperandTail(int node, int target) = 0;

 private:
  int ParseExpression(bool paren, int* flags);
  int ParseBranch(int* flags);
  int ParsePiece(int* flags);
  int ParseAtom(int* flags);
  int Fail(int code) {
    SetError(code);
    return kRegNoNode;
  }
  unsigned char Peek(std::size_t ahead = 0) const {
    return pos_ + ahead < pattern_.size() ? static_cast<unsigned char>(pattern_[pos_ + ahead]) : 0;
  }

  std::string_view pattern_;
  std::size_t pos_ = 0;
  int groups_ = 1;  // next group number
};

class CRegValidator : public CRegCompilerBase {
 public:
  using CRegCompilerBase::CRegCompilerBase;
  std::size_t Size() const { return size_; }

 protected:
  void EmitByte(std::uint8_t) override { ++size_; }
  int EmitNode(std::uint8_t) override {
    size_ += 3;
    return 1;  // a stand-in position; the sizing pass never follows it
  }
  void InsertNode(std::uint8_t, int) override { size_ += 3; }
  void SetTail(int, int) override {}
  void SetOperandTail(int, int) override {}

 private:
  std::size_t size_ = 1;  // the magic byte
};

class CRegCompiler : public CRegCompilerBase {
 public:
  // Writes into code, which must be sized by the validator pass.
  CRegCompiler(std::string_view pattern, std::vector<std::uint8_t>& code);
  std::size_t Written() const { return writePos_; }

 protected:
  void EmitByte(std::uint8_t b) override;
  int EmitNode(std::uint8_t op) override;
  void InsertNode(std::uint8_t op, int operand) override;
  void SetTail(int chain, int target) override;
  void SetOperandTail(int node, int target) override;

 private:
  bool Room(std::size_t n);
  std::vector<std::uint8_t>& out_;
  std::size_t writePos_ = 1;
};

// Compiles pattern into program (code and hints). On failure program.compiled
// is false and program.errorCode says why.
void CompileRegProgram(std::string_view pattern, CRegProgram& program);

// The ignore-case rewrite: each letter outside a bracket expression becomes a
// bracket pair of its upper- and lower-case forms ("a" -> "[Aa]").
std::string RegIgnoreCasePattern(std::string_view pattern);

}  // namespace meldrix
