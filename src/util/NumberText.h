// Number/text conversion with the user's decimal separator.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// The value as "%lg" formats it in the "C" locale; with `useLocale`, the "."
// becomes the user's decimal separator.
std::string NumberToText(double value, bool useLocale);

// Reads a decimal number after replacing the user's decimal separator by ".".
// Leading white space is skipped and reading stops at the first character that
// does not fit; no number gives 0. Only decimal notation is read: "inf",
// "nan" and hexadecimal forms are not numbers here.
double TextToNumber(std::string_view text);

}  // namespace meldrix
