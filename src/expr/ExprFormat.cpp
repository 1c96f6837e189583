#include "expr/ExprFormat.h"

#include <charconv>
#include <cmath>

#include "expr/ExprNumbers.h"
#include "util/RegExpr.h"

namespace meldrix {

namespace {

// The picture: optional sign, integer picture of "#"s, "0"s and an optional
// "*", optional "." and fraction picture of "0" and "#".
CRegExpr& PictureExpression() {
  static thread_local CRegExpr picture("^[\\+-]?(#*0*\\*?)(\\.([0#]*))?$");
  return picture;
}

// Decimal digits of a non-negative whole number (any size a double holds).
std::string WholeDigits(double whole) {
  if (whole < 1.0) return "0";
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, whole, std::chars_format::fixed, 0);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

}  // namespace

std::string FormatNumber(double value, std::string_view pattern) {
  if (pattern.empty() || !std::isfinite(value)) return RealToText(value);
  CRegExpr& picture = PictureExpression();
  if (!picture.Match(pattern)) return RealToText(value);
  const std::string integerPicture = picture.GroupText(1);
  const bool hasFraction = picture.GroupLength(2) > 0;
  const std::string fractionPicture = picture.GroupText(3);
  const size_t k = fractionPicture.size();

  double magnitude = std::fabs(value);
  double whole = std::floor(magnitude);
  double fraction = 0.0;
  if (hasFraction) {
    // Round half a unit of the last fraction position up. Unlike the old
    // formatter, the carry reaches the integer digits (1.999 with "0.00" is
    // "2.00", not "1.00").
    double rounded = magnitude - whole + 0.5000001 / std::pow(10.0, static_cast<double>(k));
    if (k > 0 && rounded >= 1.0) {
      whole += 1.0;
      rounded -= 1.0;
    }
    fraction = rounded - std::floor(rounded);
  }
  std::string digits = WholeDigits(whole);

  std::string out;
  if (integerPicture.find('*') != std::string::npos && digits.size() > integerPicture.size()) {
    out.assign(integerPicture.size(), '#');
    if (hasFraction) out += "." + std::string(k, '#');
    return out;
  }
  for (size_t i = 0; i + digits.size() < integerPicture.size(); ++i)
    out += integerPicture[i] == '0' ? '0' : ' ';
  out += digits;

  if (value < 0)
    out.insert(0, "-");
  else if (pattern[0] == '+')
    out.insert(0, "+");
  else if (pattern[0] == '-')
    out.insert(0, " ");

  if (hasFraction) {
    std::string fractionDigits;
    for (size_t i = 0; i < k; ++i) {
      fraction *= 10.0;
      double digit = std::floor(fraction);
      fraction -= digit;
      fractionDigits += static_cast<char>('0' + static_cast<int>(digit < 0 ? 0 : digit > 9 ? 9 : digit));
    }
    // A "#" position leaves out a zero only where no written digit follows,
    // so 1.05 with "0.##" stays "1.05".
    size_t keep = 0;
    for (size_t i = 0; i < k; ++i)
      if (fractionPicture[i] == '0' || fractionDigits[i] != '0') keep = i + 1;
    out += "." + fractionDigits.substr(0, keep);
  }
  return out;
}

}  // namespace meldrix
