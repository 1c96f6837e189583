// Decoder for telegrams of the Ilper iNET-500 alarm device (protocols 2 and 3):
//   STX field RS field ... ETX crc-low crc-high
// with a CRC-16/MODBUS over STX to ETX. A good telegram (right CRC, 5 or 6
// fields) is answered with ACK and becomes one line: the fields joined with
// ";", the time-stamp field shown as local date and time. Anything else is
// answered with NAK, so the device repeats it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sources/ProtocolPort.h"

namespace meldrix {

class IlperProtocol : public ProtocolDecoder {
 public:
  static constexpr unsigned char kStx = 0x02;
  static constexpr unsigned char kEtx = 0x03;
  static constexpr unsigned char kAck = 0x06;
  static constexpr unsigned char kNak = 0x15;
  static constexpr unsigned char kRs = 0x1E;
  // Field bytes (separators included) kept of one telegram; a longer one is
  // answered with NAK rather than held without bound.
  static constexpr size_t kMaxTelegram = 4096;

  enum class TimeStamps {
    Utc,    // protocol 2: the device counts UTC seconds
    Local,  // protocol 3: the device counts local seconds
  };

  // handlePendingEvents lets the main loop handle what is already waiting for
  // it, without sleeping, before a good telegram is acknowledged. It must not
  // feed this decoder again.
  IlperProtocol(TimeStamps timeStamps, std::function<void()> handlePendingEvents);

  void Feed(unsigned char byte, ProtocolPort& port, const ProtocolLineSink& sink) override;
  bool InTelegram() const override { return state_ != 0; }

  // CRC-16/MODBUS step: reflected polynomial 0xA001, start 0xFFFF, no final XOR.
  static uint16_t Crc16Modbus(uint16_t crc, unsigned char byte);

  // The time-stamp field (seconds since 1970 as hexadecimal) as local date and
  // time; a field that is not a hexadecimal number of up to 8 digits stays as it is.
  std::string TimeStampText(const std::string& field) const;

 private:
  void Judge(ProtocolPort& port, const ProtocolLineSink& sink);

  TimeStamps timeStamps_;
  std::function<void()> handlePendingEvents_;
  int state_ = 0;
  uint16_t computedChecksum_ = 0;
  uint16_t receivedChecksum_ = 0;
  std::vector<std::string> fields_;
  size_t length_ = 0;
  bool tooLong_ = false;
};

}  // namespace meldrix
