// yy_scan: turns one expression text into tokens for yy_parse.
//
// Longest match over the token patterns, on equal length the pattern listed
// first wins. The read index counts every byte taken from the text, also the
// look-ahead bytes the automaton needed to see that a token had ended; error
// positions are that index. Only the first error of a run is kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "expr/ExprValue.h"

namespace meldrix {

class CDataValueStorage;
class CStringStorage;

class yy_scan {
 public:
  static constexpr int kAbort = -2;

  // capacity: size of the token buffer in bytes (twice the expression length
  // plus 4 for a top-level evaluation, 100 for EVAL).
  explicit yy_scan(size_t capacity);
  virtual ~yy_scan() = default;

  void Init(CDataValueStorage* store, CStringStorage* strings, std::string_view text,
            bool checkMode);

  // The next token; fills value. 0 at the end of the text, kAbort after a
  // token buffer overflow.
  int NextToken(ExprValue& value);

  // Overridable operations.
  virtual int ReadByte();  // 0..255, -1 at the end of the text
  virtual int EndOfInput() { return 1; }
  virtual void Error(const std::string& text);
  virtual void NoMatch(int /*byte*/) {}
  virtual void Overflow();
  virtual void Hook() {}

  void PutBack();

  bool HasError() const { return errorSeen_; }
  int ErrorPosition() const { return errorPosition_; }
  const std::string& ErrorText() const { return errorText_; }
  size_t ReadIndex() const { return readIndex_; }
  int Line() const { return line_; }
  bool Aborted() const { return aborted_; }

 private:
  enum class Kind;
  int Scan(ExprValue& value);
  int ScanString(ExprValue& value);
  void ScanComment();
  int Keyword(const std::string& name, ExprValue& value);
  int StringToken(std::string_view text, ExprValue& value);
  int Peek(size_t position);  // a byte the automaton looks at, counted as read
  void Consume(std::string_view token);

  size_t capacity_;
  std::string buffer_;  // token text, kept below capacity
  std::string_view text_;
  size_t pos_ = 0;        // next byte to scan
  size_t readIndex_ = 0;  // bytes read from the text, look-ahead included
  bool lastReadConsumed_ = false;
  int line_ = 1;
  size_t consumed_ = 0;
  CDataValueStorage* store_ = nullptr;
  CStringStorage* strings_ = nullptr;
  bool checkMode_ = false;
  bool errorSeen_ = false;
  int errorPosition_ = -1;
  std::string errorText_;
  bool aborted_ = false;
};

}  // namespace meldrix
