#include "util/NumberText.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>

#include "platform/LocaleInfo.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the decimal number at the start of `text` (sign, digits, point,
// digits, exponent), or 0 when there is none.
size_t DecimalNumberLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

// strtod in the "C" locale, whatever the process's global locale is.
double StrtodC(const std::string& number) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  return cLocale ? strtod_l(number.c_str(), nullptr, cLocale) : std::strtod(number.c_str(), nullptr);
}

}  // namespace

std::string NumberToText(double value, bool useLocale) {
  char buffer[64];
  // to_chars with a precision formats as printf's %g does in the "C" locale.
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::general, 6);
  std::string text(buffer, result.ptr);
  if (useLocale) {
    const size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, UserLocale().DecimalSeparator());
  }
  return text;
}

double TextToNumber(std::string_view text) {
  std::string prepared(text);
  const std::string separator = UserLocale().DecimalSeparator();
  if (!separator.empty() && separator != ".") {
    for (size_t at = prepared.find(separator); at != std::string::npos;
         at = prepared.find(separator, at + 1)) {
      prepared.replace(at, separator.size(), ".");
    }
  }
  std::string_view rest(prepared);
  while (!rest.empty() && IsWhiteSpace(rest.front())) rest.remove_prefix(1);
  const size_t length = DecimalNumberLength(rest);
  if (length == 0) return 0.0;
  return StrtodC(std::string(rest.substr(0, length)));
}

}  // namespace meldrix
