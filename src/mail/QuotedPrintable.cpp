#include "mail/QuotedPrintable.h"

namespace meldrix {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::size_t CQuotedPrintable::Decode(std::string_view source, std::span<char> destination) const {
  std::size_t out = 0;
  auto put = [&](char c) {
    if (out < destination.size()) destination[out++] = c;
  };
  std::size_t i = 0;
  while (i < source.size()) {
    const char c = source[i];
    if (c == '=') {
      if (source.size() - i < 3) {  // fewer than two characters behind it
        ++i;
        continue;
      }
      if (source[i + 1] == '\r' && source[i + 2] == '\n') {  // soft line break
        i += 3;
        continue;
      }
      const int hi = HexValue(source[i + 1]);
      const int lo = HexValue(source[i + 2]);
      if (hi >= 0 && lo >= 0) {
        put(static_cast<char>(hi * 16 + lo));
        i += 3;
        continue;
      }
      put(c);  // not an escape: keep the "=" and go on with the next byte
      ++i;
      continue;
    }
    put(c == '_' && underscore_ == Underscore::kBlank ? ' ' : c);
    ++i;
  }
  return out;
}

}  // namespace meldrix
