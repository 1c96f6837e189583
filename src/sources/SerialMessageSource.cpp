#include "sources/SerialMessageSource.h"

#include <cstdio>

#include "sources/IlperProtocol.h"
#include "sources/SerialProtocolPort.h"
#include "sources/SiedleProtocol.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

std::unique_ptr<ProtocolDecoder> MakeDecoder(int protocol, const std::function<void()>& handlePendingEvents) {
  switch (protocol) {
    case InSourceSettings::kSiedle:
      return std::make_unique<SiedleProtocol>();
    case InSourceSettings::kIlperUtc:
      return std::make_unique<IlperProtocol>(IlperProtocol::TimeStamps::Utc, handlePendingEvents);
    case InSourceSettings::kIlperLocal:
      return std::make_unique<IlperProtocol>(IlperProtocol::TimeStamps::Local, handlePendingEvents);
    default:
      return nullptr;
  }
}

bool IsDeviceProtocol(int protocol) {
  return protocol == InSourceSettings::kSiedle || protocol == InSourceSettings::kIlperUtc ||
         protocol == InSourceSettings::kIlperLocal;
}

}  // namespace

bool CSerialMessageSource::Open(const OutPortServices& services) {
  SerialSourceSettings port;
  port.port = settings_.m_Port;
  port.baud = static_cast<std::uint32_t>(settings_.m_Baud);
  port.dataBits = settings_.m_DataBit;
  port.parity = settings_.m_Parity;
  port.stopBits = settings_.m_StopBit;
  port.mode = settings_.m_Mode;
  std::string error;
  if (!reader_.Open(port, services.SerialOrDefault(), &error)) {
    services.ShowError(error);
    return false;
  }
  return true;
}

std::string CSerialMessageSource::Describe() const {
  char port[64];
  std::snprintf(port, sizeof port, " COM%d: %ld baud", settings_.m_Port + 1, settings_.m_Baud);
  return LoadText("IDS_DESCRIBE_PORT") + port;
}

std::uint32_t CSerialMessageSource::Poll(IMessageSink& sink, const OutPortServices&) {
  // The device protocols take the bytes in their own pumping step.
  if (settings_.m_Protocol != InSourceSettings::kPlainText) return kSourcePollMs;
  // When the poll stopped early the rest waits: read on at the next poll.
  return reader_.ReadWaiting([&sink](unsigned char byte) { return sink.TakeByte(byte); }) ? kSourcePollMs : 0;
}

bool CSerialMessageSource::HasDeviceProtocol() const {
  return reader_.IsOpen() && reader_.Library() != nullptr && IsDeviceProtocol(settings_.m_Protocol);
}

bool CSerialMessageSource::PumpDeviceProtocol(IMessageSink& sink,
                                              const std::function<void()>& handlePendingEvents) {
  if (!HasDeviceProtocol()) return false;
  if (!decoder_) {
    decoder_ = MakeDecoder(settings_.m_Protocol, handlePendingEvents);
    if (!decoder_) return false;
  }
  SerialProtocolPort port(*reader_.Library(), reader_.Handle());
  // A telegram is a message of its own, so two telegrams never run together.
  return PumpProtocol(
      port, *decoder_, [&sink](std::string line) { sink.TakeTelegram(std::move(line)); },
      [&sink](unsigned char byte) { sink.CopyRaw(byte); });
}

}  // namespace meldrix
