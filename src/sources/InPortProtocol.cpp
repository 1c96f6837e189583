// The device protocols of a serial source: the decoder owns the port's bytes,
// every decoded telegram becomes one finished line of the source.
#include <string_view>

#include "engine/InPort.h"
#include "engine/OutPort.h"
#include "sources/IlperProtocol.h"
#include "sources/SerialProtocolPort.h"
#include "sources/SiedleProtocol.h"

namespace meldrix {

namespace {

std::unique_ptr<ProtocolDecoder> MakeDecoder(int protocol, const std::function<void()>& handlePendingEvents) {
  switch (protocol) {
    case CInPort::kSiedle:
      return std::make_unique<SiedleProtocol>();
    case CInPort::kIlperUtc:
      return std::make_unique<IlperProtocol>(IlperProtocol::TimeStamps::Utc, handlePendingEvents);
    case CInPort::kIlperLocal:
      return std::make_unique<IlperProtocol>(IlperProtocol::TimeStamps::Local, handlePendingEvents);
    default:
      return nullptr;
  }
}

}  // namespace

bool CInPort::HasDeviceProtocol() const {
  return m_Source == kSerial && m_Opened && m_SerialIn.IsOpen() && m_SerialIn.Library() != nullptr &&
         (m_Protocol == kSiedle || m_Protocol == kIlperUtc || m_Protocol == kIlperLocal);
}

bool CInPort::PumpDeviceProtocol(COutPortArray& outputs, const OutPortServices& services,
                                 const std::function<void()>& handlePendingEvents) {
  if (!HasDeviceProtocol()) return false;
  if (!m_Decoder) {
    m_Decoder = MakeDecoder(m_Protocol, handlePendingEvents);
    if (!m_Decoder) return false;
  }
  SerialProtocolPort port(*m_SerialIn.Library(), m_SerialIn.Handle());
  COutPort* output = outputs.FindById(m_OutId);
  // A telegram is a message of its own: appended to the (empty) line and
  // completed at once, so two telegrams never run together.
  ProtocolLineSink sink = [this](std::string line) {
    m_Assembly.Line() += line;
    m_Assembly.CompleteLine();
  };
  std::function<void(unsigned char)> rawCopy;
  if (output) {
    rawCopy = [output, &services](unsigned char byte) {
      char c = static_cast<char>(byte);
      output->Send(std::string_view(&c, 1), nullptr, services);
    };
  }
  return PumpProtocol(port, *m_Decoder, sink, rawCopy);
}

}  // namespace meldrix
