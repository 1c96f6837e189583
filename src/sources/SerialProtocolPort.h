// The serial library's port as a ProtocolPort, for the Siedle and Ilper
// decoders of a serial source.
#pragma once

#include "platform/SerialLibrary.h"
#include "sources/ProtocolPort.h"

namespace meldrix {

class SerialProtocolPort : public ProtocolPort {
 public:
  SerialProtocolPort(ISerialLibrary& library, SerHandle handle) : library_(library), handle_(handle) {}

  std::optional<unsigned char> ReceiveChar() override {
    int byte = library_.SerReceiveChar(handle_);
    if (byte < 0) return std::nullopt;
    return static_cast<unsigned char>(byte);
  }
  void SendChar(unsigned char byte) override { library_.SerSendChar(handle_, byte); }
  void ReceiveFlush() override { library_.SerReceiveFlush(handle_); }

 private:
  ISerialLibrary& library_;
  SerHandle handle_;
};

}  // namespace meldrix
