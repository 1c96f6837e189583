#pragma once

#include <cstdint>

namespace meldrix {

// The serial parity letter for a stored parity value (N for unknown values).
inline std::uint8_t ParityLetter(int parity) {
  static const char kLetters[] = "NEOMS";
  return parity >= 0 && parity <= 4 ? static_cast<std::uint8_t>(kLetters[parity]) : 'N';
}

}  // namespace meldrix
