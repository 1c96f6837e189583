#include "mail/Base64.h"

namespace meldrix {
namespace {

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::size_t CBase64::Decode(std::string_view source, std::span<char> destination) const {
  std::size_t out = 0;
  unsigned bits = 0;
  int bitCount = 0;
  for (const char c : source) {
    if (c == '=') break;
    const int sextet = SextetOf(c);
    if (sextet < 0) continue;
    bits = ((bits << 6) | static_cast<unsigned>(sextet)) & 0xFFFFFF;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      if (out < destination.size()) destination[out++] = static_cast<char>((bits >> bitCount) & 0xFF);
    }
  }
  return out;
}

}  // namespace meldrix
