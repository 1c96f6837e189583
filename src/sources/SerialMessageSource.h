// Kind 1: a serial port. With protocol 0 the poll reads plain text; with a
// device protocol (Siedle, Ilper) the protocol timer pumps the decoder, which
// owns the port's bytes.
#pragma once

#include <memory>

#include "sources/MessageSource.h"
#include "sources/ProtocolPort.h"
#include "sources/SerialSource.h"

namespace meldrix {

class CSerialMessageSource : public IMessageSource {
 public:
  explicit CSerialMessageSource(const InSourceSettings& settings) : settings_(settings) {}

  bool Open(const OutPortServices& services) override;
  void Close() override { reader_.Close(); }
  std::string Describe() const override;
  std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) override;
  bool HasDeviceProtocol() const override;
  bool PumpDeviceProtocol(IMessageSink& sink, const std::function<void()>& handlePendingEvents) override;

 private:
  const InSourceSettings& settings_;
  CSerialSource reader_;
  // Made at the first pump and kept for the source's life.
  std::unique_ptr<ProtocolDecoder> decoder_;
};

}  // namespace meldrix
