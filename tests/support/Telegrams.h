// Device telegrams as they come over the wire, for the protocol decoders' tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace meldrix::testing {

inline constexpr char STX = 0x02, ETX = 0x03, ACK = 0x06, DLE = 0x10, NAK = 0x15, RS = 0x1E;

inline std::string Raw(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// Siedle: data bytes ETX and DLE escaped, the checksum chosen so that every
// byte after STX, the checksum and every DLE add up to 0 (`checksumDelta` spoils it).
inline std::string SiedleTelegram(int receiver, int function, int sender, const std::string& info,
                                  int checksumDelta = 0) {
  std::string wire;
  unsigned sum = 0;
  for (char c : Raw({receiver, function, sender}) + info) {
    if (c == ETX || c == DLE) wire.push_back(DLE), sum += DLE;
    wire.push_back(c);
    sum += static_cast<unsigned char>(c);
  }
  unsigned char checksum = static_cast<unsigned char>(-sum);
  if (checksum == ETX || checksum == DLE) {
    checksum = static_cast<unsigned char>(-(sum + DLE));
    EXPECT_TRUE(checksum != ETX && checksum != DLE) << "pick other test data";
    wire.push_back(DLE);
  }
  wire.push_back(static_cast<char>(checksum + checksumDelta));
  return STX + wire + ETX;
}

// CRC-16/MODBUS, computed here independently of the decoder.
inline std::uint16_t IlperCrc(const std::string& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// Ilper: fields joined by RS between STX and ETX.
inline std::string IlperBody(const std::vector<std::string>& fields) {
  std::string body(1, STX);
  for (size_t i = 0; i < fields.size(); ++i) body += (i > 0 ? std::string(1, RS) : "") + fields[i];
  return body + ETX;
}

// The body and its CRC over STX..ETX, low byte first unless `highByteFirst`.
inline std::string IlperTelegram(const std::vector<std::string>& fields, bool highByteFirst = false) {
  const std::string body = IlperBody(fields);
  const std::uint16_t crc = IlperCrc(body);
  const char low = static_cast<char>(crc & 0xFF), high = static_cast<char>(crc >> 8);
  return highByteFirst ? body + high + low : body + low + high;
}

}  // namespace meldrix::testing
