// One open serial device: a non-blocking descriptor with a receive and a send
// buffer of fixed sizes. Received bytes are read from the device when the
// receive buffer runs empty; queued bytes are pushed to the device whenever
// the port is used and by the library's sender thread in between (PushSend).
#pragma once

#include <cstdint>
#include <deque>

namespace meldrix {

class SerialPort {
 public:
  // Takes ownership of `fd` (an open, configured terminal device).
  SerialPort(int fd, std::uint32_t receiveSize, std::uint32_t sendSize, bool hardwareHandshake);
  // Pushes what is still queued for a bounded time, then closes the device.
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  std::uint32_t ReceiveReady();
  int ReceiveChar();
  void ReceiveFlush();
  int SendChar(std::uint8_t byte);
  std::uint32_t SendReady();
  std::uint32_t SendBuffer(const std::uint8_t* data, std::uint32_t length);
  std::uint32_t State();
  std::uint32_t Control(std::uint32_t code);

  // Writes queued bytes as far as the device takes them now.
  void PushSend();
  // True while queued bytes wait for the device to take them.
  bool HasQueued() const { return !queued_.empty() && !deviceFailed_; }
  int Fd() const { return fd_; }

 private:
  void FillReceive();
  // Marks the device failed once it hung up (an unplugged adapter).
  void CheckHangUp();
  void DrainBeforeClose();

  int fd_;
  std::uint32_t receiveSize_, sendSize_;
  bool hardwareHandshake_;
  std::deque<std::uint8_t> received_, queued_;
  bool deviceRefused_ = false;  // the last write found the device unable to take more
  bool deviceFailed_ = false;   // the device is gone (unplugged adapter, hang-up)
};

}  // namespace meldrix
