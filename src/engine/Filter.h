// Message filters: preparing the LeftTrigger (with its wildcard mask) and the
// MidTriggers of a message, and the test whether an incoming text matches.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

struct PreparedFilter {
  std::string text;
  // Same length as text: '0' where the filter has a wildcard, '1' elsewhere.
  std::string mask;
};

// Decodes the escapes of a filter string. With `wildcards`, an unescaped '?'
// is a wildcard (mask '0'); a decoded escape never is. Without case
// sensitivity the text is converted to upper case (Windows-1252); the mask is
// not touched.
PreparedFilter PrepareFilter(std::string_view raw, bool caseSensitive, bool wildcards = true);

// The match test: every non-empty MidTrigger must occur somewhere in the text,
// and the text must start with the LeftTrigger, where a wildcard accepts any
// one character. All filter strings are the prepared ones.
bool MatchesFilter(std::string_view text, const std::string& leftTrigger,
                   const std::string& leftTriggerMask, const std::string (&midTriggers)[3],
                   bool caseSensitive);

}  // namespace meldrix
