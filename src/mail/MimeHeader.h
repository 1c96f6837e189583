// A MIME header value such as `text/plain; charset="utf-8"; format=flowed`:
// the value before the first ";" and its parameters.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace meldrix {

struct CMimeHeader {
  std::string value;  // white space cut
  // Names in lower case; values unquoted (a backslash in quotes escapes the
  // next character), white space of unquoted values cut.
  std::vector<std::pair<std::string, std::string>> parameters;

  // The first parameter of that name (any case), or "".
  std::string Parameter(std::string_view name) const;

  // Parses an unfolded header value (the text behind "Name:").
  static CMimeHeader Parse(std::string_view text);
};

}  // namespace meldrix
