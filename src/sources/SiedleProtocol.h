// Decoder for telegrams of the Siedle door-communication bus (protocol 1):
//   STX receiver function sender info... checksum ETX
// DLE makes the next byte plain data. Good telegrams are acknowledged (unless
// sent to everyone, receiver 0xFF) and become one line of text, mostly German
// event words.
#pragma once

#include <cstdint>
#include <string>

#include "sources/ProtocolPort.h"

namespace meldrix {

class SiedleProtocol : public ProtocolDecoder {
 public:
  static constexpr unsigned char kStx = 0x02;
  static constexpr unsigned char kEtx = 0x03;
  static constexpr unsigned char kAck = 0x06;
  static constexpr unsigned char kDle = 0x10;
  static constexpr unsigned char kBroadcast = 0xFF;
  // Hex digits of function info (the checksum byte included) that a telegram may hold.
  static constexpr size_t kMaxFunctionInfo = 100;

  void Feed(unsigned char byte, ProtocolPort& port, const ProtocolLineSink& sink) override;
  bool InTelegram() const override { return state_ != 0; }

  // The text of a telegram whose checksum proved good; functionInfo is the
  // info bytes as upper-case hex digits, without the checksum byte.
  static std::string TelegramText(int receiver, int function, int sender, const std::string& functionInfo);

 private:
  void EndOfTelegram(ProtocolPort& port, const ProtocolLineSink& sink);

  int state_ = 0;
  bool escapePending_ = false;
  uint8_t sum_ = 0;
  int receiver_ = 0;
  int function_ = 0;
  int sender_ = 0;
  std::string functionInfo_;
};

}  // namespace meldrix
