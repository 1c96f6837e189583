#include "sources/IlperProtocol.h"

#include <optional>

#include "platform/Clock.h"
#include "util/DateTime.h"
#include "util/DateTimeFormat.h"
#include "util/TextFields.h"
#include "util/Trace.h"

namespace meldrix {

namespace {

std::optional<uint32_t> ParseHexSeconds(const std::string& field) {
  std::string_view digits = field;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return value;
}

}  // namespace

IlperProtocol::IlperProtocol(TimeStamps timeStamps, std::function<void()> handlePendingEvents)
    : timeStamps_(timeStamps), handlePendingEvents_(std::move(handlePendingEvents)) {}

uint16_t IlperProtocol::Crc16Modbus(uint16_t crc, unsigned char byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  return crc;
}

void IlperProtocol::Feed(unsigned char byte, ProtocolPort& port, const ProtocolLineSink& sink) {
  TraceMessage(kTraceProtocolBytes, "Ilper(%d)RX(%02X)", state_, byte);
  if (byte == kStx) {
    // A new telegram starts at once, whatever came before.
    TraceMessage(kTraceProtocolState, " Ilper(0)");
    state_ = 0;
  }
  switch (state_) {
    case 0:
      if (byte == kStx) {
        computedChecksum_ = Crc16Modbus(0xFFFF, byte);
        fields_.assign(1, std::string());
        length_ = 0;
        tooLong_ = false;
        TraceMessage(kTraceProtocolState, " Ilper(1)");
        state_ = 1;
      }
      break;
    case 1:
      computedChecksum_ = Crc16Modbus(computedChecksum_, byte);
      if (byte == kEtx) {
        TraceMessage(kTraceProtocolState, " Ilper(2)");
        state_ = 2;
        break;
      }
      if (++length_ > kMaxTelegram) {
        if (!tooLong_) TraceMessage(kTraceProtocolState, " Ilper(1): telegram too long\n");
        tooLong_ = true;
        break;
      }
      if (byte == kRs) {
        fields_.emplace_back();
        TraceMessage(kTraceProtocolState, " Ilper(1)");
      } else {
        fields_.back().push_back(static_cast<char>(byte));
      }
      break;
    case 2:
      receivedChecksum_ = byte;
      TraceMessage(kTraceProtocolState, " Ilper(3)");
      state_ = 3;
      break;
    case 3:
      TraceMessage(kTraceProtocolState, " Ilper(0)");
      receivedChecksum_ |= static_cast<uint16_t>(byte << 8);
      state_ = 0;
      Judge(port, sink);
      break;
    default:
      TraceMessage(kTraceProtocolState, " Ilper(0): Invalid ProtState\n");
      state_ = 0;
      break;
  }
}

void IlperProtocol::Judge(ProtocolPort& port, const ProtocolLineSink& sink) {
  const bool good = receivedChecksum_ == computedChecksum_ && (fields_.size() == 5 || fields_.size() == 6) &&
                    !tooLong_;
  if (!good) {
    TraceMessage(kTraceProtocolState, "Ilper invalid checksum (%04X)", computedChecksum_);
    port.SendChar(kNak);
    port.ReceiveFlush();
    return;
  }
  // Let the main loop catch up before the device is told to go on.
  if (handlePendingEvents_) handlePendingEvents_();
  port.SendChar(kAck);
  port.ReceiveFlush();

  std::string& timeStamp = fields_[fields_.size() == 5 ? 1 : 2];
  timeStamp = TimeStampText(timeStamp);
  if (sink) sink(JoinFields(fields_, ";", true));
}

std::string IlperProtocol::TimeStampText(const std::string& field) const {
  std::optional<uint32_t> seconds = ParseHexSeconds(field);
  if (!seconds) return field;
  std::int64_t localSeconds = *seconds;
  // A UTC stamp moves by the zone's offset at that instant, so a stamp from
  // before a daylight-saving switch still shows the right wall-clock time.
  if (timeStamps_ == TimeStamps::Utc) localSeconds = UtcToLocalSeconds(localSeconds);
  // Full date and time of day with seconds; no weekday, no week number.
  constexpr unsigned kTimeStampFlags = 0xE7;
  return FormatDateTimeLocal(DateTime::FromLocalSeconds(localSeconds), kTimeStampFlags);
}

}  // namespace meldrix
