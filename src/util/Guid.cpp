#include "util/Guid.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace meldrix {
namespace {

bool FillRandom(std::array<uint8_t, 16>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = getrandom(bytes.data() + done, bytes.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string NewGuidText(bool compact) {
  std::array<uint8_t, 16> bytes{};
  if (!FillRandom(bytes)) return {};
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(38);
  if (!compact) text += '{';
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (!compact && (i == 4 || i == 6 || i == 8 || i == 10)) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  if (!compact) text += '}';
  return text;
}

}  // namespace meldrix
