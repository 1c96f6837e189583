// The 30-byte port parameter block handed to SerOpen, and its translation
// into termios settings.
#pragma once

#include <termios.h>

#include <array>
#include <cstdint>
#include <optional>

namespace meldrix {

inline constexpr std::size_t kSerParamBlockSize = 30;
using SerParamBlock = std::array<std::uint8_t, kSerParamBlockSize>;

// Packed little-endian layout:
//   0 u16 block size (30)      2 u16 port number (COM1 = 1)   4 u32 baud rate
//   8 u8 data bits             9 u8 parity letter N E O M S  10 u8 stop bits
//  11 u8 handshake 0 none, 1 RTS/CTS, 2 XON/XOFF
//  12 u8 XON character        13 u8 XOFF character
//  14 u32 receive buffer size 18 u32 send buffer size
//  22 u32, 26 u32 library parameters (128; not used on Linux)
struct SerPortParams {
  std::uint16_t blockSize = kSerParamBlockSize;
  std::uint16_t port = 1;
  std::uint32_t baud = 9600;
  std::uint8_t dataBits = 8;
  std::uint8_t parity = 'N';
  std::uint8_t stopBits = 1;
  std::uint8_t handshake = 0;
  std::uint8_t xonChar = 0x11;
  std::uint8_t xoffChar = 0x13;
  std::uint32_t receiveBufferSize = 4096;
  std::uint32_t sendBufferSize = 4096;
  std::uint32_t libraryParam1 = 128;
  std::uint32_t libraryParam2 = 128;

  SerParamBlock ToBlock() const;
  static SerPortParams FromBlock(const std::uint8_t* block);
};

inline constexpr std::uint8_t kSerHandshakeNone = 0;
inline constexpr std::uint8_t kSerHandshakeHardware = 1;
inline constexpr std::uint8_t kSerHandshakeXonXoff = 2;

// The termios speed constant of a baud rate, or nullopt when termios has none.
std::optional<speed_t> SerBaudToSpeed(std::uint32_t baud);

struct SerTermios {
  std::uint32_t error = 0;  // 0, or SER_ERR_INVALID_PARAM
  termios settings{};
};

// Raw-mode settings for the block: no echo, no line editing, no character
// translation, bytes with parity errors passed through unchanged (never
// dropped), receiver on, modem control lines ignored for opening and lowered
// on close. Data bits, parity, stop bits, speed and handshake from the block;
// anything termios cannot express gives SER_ERR_INVALID_PARAM.
SerTermios TranslateSerParams(const SerPortParams& params);

// Buffers larger than this are refused with SER_ERR_NO_MEMORY.
inline constexpr std::uint32_t kSerMaxBufferSize = 16 * 1024 * 1024;

// The checks of SerOpen that need no device: block size and settings (16),
// port number 1..255 (1), buffer sizes (16 when 0, 8 when too large). Returns
// the error word (0 when the block is good) and fills `params`.
std::uint32_t CheckSerParamBlock(const std::uint8_t* block, SerPortParams& params);

}  // namespace meldrix
