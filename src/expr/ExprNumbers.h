// Number <-> text conversions of the expression language. All of them use "."
// as the decimal separator whatever the user's locale, and none depends on the
// C library's global locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace meldrix {

// Reads an integer the way strtol does with base 0: leading white space, an
// optional sign, "0x" for hexadecimal, a leading "0" for octal; stops at the
// first byte that is no digit of the base; no digits give 0. Values beyond the
// 32-bit signed range are clamped to it.
int32_t TextToInteger(std::string_view text);

// Reads the digits of text in the given base (2..16) from the start, stopping
// at the first byte that is no digit of the base; clamped to the 32-bit range.
int32_t DigitsToInteger(std::string_view text, int base);

// Reads a decimal real (leading white space, sign, digits, ".", exponent);
// no digits give 0.
double TextToReal(std::string_view text);

// "%ld" of a 32-bit integer.
std::string IntegerToText(int32_t value);

// "%lg" as the system has always written it: six significant digits and an
// exponent of at least three digits ("1e+020").
std::string RealToText(double value);

}  // namespace meldrix
