// An in-memory serial library for tests of sources, outputs and protocols.
// Ports are addressed by their number (COM n) as the tests configure them;
// a test injects received bytes, reads what was sent, makes an open fail or
// stalls a port's sending. Parameter checks are those of the real library.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SerialLibrary.h"
#include "platform/SerialParams.h"

namespace meldrix {

class FakeSerialLibrary : public ISerialLibrary {
 public:
  // Every later open of `port` fails with `error` (0 lets it open again).
  void SetOpenError(unsigned port, std::uint32_t error);
  // Bytes arriving at the open port (ignored while the port is closed, as a
  // real device's bytes are).
  void Receive(unsigned port, std::string_view bytes);
  // Everything the port has put on the line since the library was made.
  std::string Sent(unsigned port) const;
  // A stalled port keeps queued bytes and reports that it cannot send.
  void SetStalled(unsigned port, bool stalled);
  bool IsOpen(unsigned port) const;
  // The parameters of the last successful open of the port.
  std::optional<SerPortParams> OpenedWith(unsigned port) const;
  // SerControl codes the port received, in order.
  std::vector<std::uint32_t> Controls(unsigned port) const;
  std::size_t ReceiveFlushes(unsigned port) const;

  SerHandle SerOpen(const std::uint8_t* block, std::uint32_t* error) override;
  std::uint32_t SerControl(SerHandle handle, std::uint32_t code) override;
  void SerClose(SerHandle handle) override;
  std::uint32_t SerReceiveReady(SerHandle handle) override;
  int SerReceiveChar(SerHandle handle) override;
  void SerReceiveFlush(SerHandle handle) override;
  int SerSendChar(SerHandle handle, std::uint8_t byte) override;
  std::uint32_t SerSendReady(SerHandle handle) override;
  std::uint32_t SerSendBuffer(SerHandle handle, const void* data, std::uint32_t length) override;
  std::uint32_t SerState(SerHandle handle) override;

 private:
  struct Port {
    std::uint32_t openError = 0;
    SerHandle handle = 0;  // 0 while closed
    std::optional<SerPortParams> params;
    std::deque<std::uint8_t> received;
    std::string queued, sent;
    bool stalled = false;
    std::vector<std::uint32_t> controls;
    std::size_t flushes = 0;
  };
  Port* Find(SerHandle handle);
  void Push(Port& port);

  mutable std::mutex mutex_;
  std::map<unsigned, Port> ports_;
  SerHandle nextHandle_ = 1;
};

}  // namespace meldrix
