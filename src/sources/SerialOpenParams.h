// What opening a serial port takes from the stored settings.
#pragma once

#include <cstdint>

#include "platform/SerialParams.h"

namespace meldrix {

// The serial parity letter for a stored parity value (N for unknown values).
inline std::uint8_t ParityLetter(int parity) {
  static const char kLetters[] = "NEOMS";
  return parity >= 0 && parity <= 4 ? static_cast<std::uint8_t>(kLetters[parity]) : 'N';
}

// The parameter block that opens COM(index + 1) with the stored settings
// (parity and handshake as stored) and buffers of `bufferSize` bytes.
inline SerParamBlock SerialOpenBlock(int index, std::uint32_t baud, int dataBits, int parity, int stopBits,
                                     int handshake, std::uint32_t bufferSize) {
  SerPortParams params;
  params.port = static_cast<std::uint16_t>(index + 1);
  params.baud = baud;
  params.dataBits = static_cast<std::uint8_t>(dataBits);
  params.parity = ParityLetter(parity);
  params.stopBits = static_cast<std::uint8_t>(stopBits);
  params.handshake = static_cast<std::uint8_t>(handshake);
  params.receiveBufferSize = bufferSize;
  params.sendBufferSize = bufferSize;
  return params.ToBlock();
}

}  // namespace meldrix
