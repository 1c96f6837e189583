#include "expr/ExprNumbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace meldrix {

namespace {

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int DigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Accumulates digits with saturation; returns the number of digits used.
size_t AccumulateDigits(std::string_view text, size_t pos, int base, uint64_t& value) {
  const uint64_t limit = uint64_t{1} << 33;  // beyond any 32-bit magnitude
  size_t used = 0;
  value = 0;
  for (; pos < text.size(); ++pos, ++used) {
    int d = DigitValue(static_cast<unsigned char>(text[pos]));
    if (d >= base) break;
    value = value * base + d;
    if (value > limit) value = limit;
  }
  return used;
}

int32_t Clamp(bool negative, uint64_t magnitude) {
  if (negative) {
    if (magnitude > uint64_t{2147483648u}) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  }
  if (magnitude > uint64_t{2147483647u}) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(magnitude);
}

}  // namespace

int32_t TextToInteger(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsSpace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < text.size() && text[pos] == '0') {
    base = 8;
    if (pos + 2 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        DigitValue(static_cast<unsigned char>(text[pos + 2])) < 16) {
      base = 16;
      pos += 2;
    }
  }
  uint64_t magnitude = 0;
  AccumulateDigits(text, pos, base, magnitude);
  return Clamp(negative, magnitude);
}

int32_t DigitsToInteger(std::string_view text, int base) {
  uint64_t magnitude = 0;
  AccumulateDigits(text, 0, base, magnitude);
  return Clamp(false, magnitude);
}

double TextToReal(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsSpace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Take the longest prefix of the decimal form; from_chars then reads it
  // without looking at the locale (and never accepts hex, "inf" or "nan").
  size_t start = pos, end = pos;
  size_t mantissaDigits = 0;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end, ++mantissaDigits;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return 0.0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t exp = end + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    size_t expDigits = exp;
    while (expDigits < text.size() && text[expDigits] >= '0' && text[expDigits] <= '9') ++expDigits;
    if (expDigits > exp) end = expDigits;
  }
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value,
                                   std::chars_format::general);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // Too large gives infinity, too small gives zero, as strtod does.
    size_t e = text.find_first_of("eE", start);
    bool tiny = e < end && e + 1 < end && text[e + 1] == '-';
    value = tiny ? 0.0 : HUGE_VAL;
  }
  return negative ? -value : value;
}

std::string IntegerToText(int32_t value) { return std::to_string(value); }

std::string RealToText(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                 std::chars_format::general, 6);
  if (ec != std::errc()) return "0";
  std::string text(buffer, end);
  size_t e = text.find('e');
  if (e != std::string::npos && e + 2 < text.size()) {
    std::string digits = text.substr(e + 2);
    while (digits.size() < 3) digits.insert(0, "0");
    text = text.substr(0, e + 2) + digits;
  }
  return text;
}

}  // namespace meldrix
