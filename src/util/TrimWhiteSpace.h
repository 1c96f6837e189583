#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// True for blank, TAB, LF, VT, FF and CR (never locale-dependent).
constexpr bool IsWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The text without leading and trailing white space.
std::string TrimWhiteSpace(std::string_view text);

}  // namespace meldrix
