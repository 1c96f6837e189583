// The serial library on Linux terminal devices (termios). Ports are opened
// exclusively: an advisory lock (flock) keeps out every other opener that
// locks, including this process, and TIOCEXCL keeps out other programs that
// do not. Handles count up from 1 and are not reused while the library lives.
// Bytes a device cannot take at once (a handshake holds it, its own buffer is
// full) stay in the port's send buffer; a sender thread pushes them as soon
// as the device takes more, so callers never wait for bytes to leave.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/SerialLibrary.h"
#include "platform/SerialPort.h"
#include "platform/SerialPortMap.h"

namespace meldrix {

class CTermiosSerialLibrary : public ISerialLibrary {
 public:
  // `ports` reads section "Ports" of the configuration file; empty for the
  // default device names.
  explicit CTermiosSerialLibrary(ConfigValueReader ports = {});
  ~CTermiosSerialLibrary() override;

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
  SerialPort* Find(SerHandle handle);
  // Starts or wakes the sender thread when a port keeps queued bytes.
  // Called with mutex_ held.
  void WakeSenderIfQueued(SerialPort& port);
  void SenderLoop();

  ConfigValueReader ports_;
  std::mutex mutex_;  // sources, outputs and their threads share the library
  std::map<SerHandle, std::unique_ptr<SerialPort>> open_;
  SerHandle nextHandle_ = 1;
  int wakeFd_ = -1;  // eventfd: new queued bytes, or stop
  bool stopping_ = false;
  std::thread sender_;
};

}  // namespace meldrix
