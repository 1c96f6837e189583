#include "engine/Filter.h"

#include <algorithm>

#include "platform/Cp1252.h"

namespace meldrix {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the escape whose letter stands at raw[pos] (the character after the
// backslash); returns the byte and sets `next` to the first position after it.
char DecodeEscape(std::string_view raw, size_t pos, size_t& next) {
  const char c = raw[pos];
  next = pos + 1;
  switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    default: break;
  }
  if (c == 'x' || c == 'X') {
    // Up to two hex digits; the two characters after the "x" are consumed
    // either way. Also decoded when the escape ends the filter.
    int value = 0, digits = 0;
    for (size_t i = pos + 1; i < raw.size() && i <= pos + 2; ++i) {
      const int d = HexDigit(raw[i]);
      if (d < 0) break;
      value = value * 16 + d;
      ++digits;
    }
    if (digits == 0) return c;  // "\x" without a number stands for itself
    next = std::min(raw.size(), pos + 3);
    return static_cast<char>(value);
  }
  if (c >= '0' && c <= '3') {
    // Up to three octal digits starting with this one; the two characters
    // after the first digit are consumed either way.
    int value = 0;
    for (size_t i = pos; i < raw.size() && i <= pos + 2 && raw[i] >= '0' && raw[i] <= '7'; ++i)
      value = value * 8 + (raw[i] - '0');
    next = std::min(raw.size(), pos + 3);
    return static_cast<char>(value);
  }
  return c;
}

}  // namespace

PreparedFilter PrepareFilter(std::string_view raw, bool caseSensitive, bool wildcards) {
  PreparedFilter prepared;
  prepared.text.reserve(raw.size());
  prepared.mask.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    const char c = raw[i];
    if (c == '\\') {
      if (i + 1 == raw.size()) {  // a trailing backslash stands for a blank
        prepared.text += ' ';
        prepared.mask += '1';
        break;
      }
      size_t next = 0;
      prepared.text += DecodeEscape(raw, i + 1, next);
      prepared.mask += '1';
      i = next;
      continue;
    }
    prepared.text += c;
    prepared.mask += (wildcards && c == '?') ? '0' : '1';
    ++i;
  }
  if (!caseSensitive) prepared.text = Cp1252Upper(prepared.text);
  return prepared;
}

bool MatchesFilter(std::string_view text, const std::string& leftTrigger,
                   const std::string& leftTriggerMask, const std::string (&midTriggers)[3],
                   bool caseSensitive) {
  std::string folded;
  std::string_view copy = text;
  if (!caseSensitive) {
    folded = Cp1252Upper(text);
    copy = folded;
  }
  for (const std::string& mid : midTriggers)
    if (!mid.empty() && copy.find(mid) == std::string_view::npos) return false;
  if (copy.size() < leftTrigger.size()) return false;
  for (size_t i = 0; i < leftTrigger.size(); ++i) {
    const bool wildcard = i < leftTriggerMask.size() && leftTriggerMask[i] == '0';
    if (!wildcard && copy[i] != leftTrigger[i]) return false;
  }
  return true;
}

}  // namespace meldrix
