#include "platform/SerialPort.h"

#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/SerialLibrary.h"

namespace meldrix {

namespace {

// Closing waits at most this long for queued bytes to leave; a port stopped
// by its handshake must not hang the program (the kernel would wait 30 s).
constexpr auto kCloseDrainLimit = std::chrono::milliseconds(500);

}  // namespace

SerialPort::SerialPort(int fd, std::uint32_t receiveSize, std::uint32_t sendSize,
                       bool hardwareHandshake)
    : fd_(fd), receiveSize_(receiveSize), sendSize_(sendSize),
      hardwareHandshake_(hardwareHandshake) {}

SerialPort::~SerialPort() {
  DrainBeforeClose();
  ::ioctl(fd_, TIOCNXCL);  // a pseudo-terminal keeps the flag for the next opener
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
}

void SerialPort::DrainBeforeClose() {
  const auto deadline = std::chrono::steady_clock::now() + kCloseDrainLimit;
  for (;;) {
    PushSend();
    int onLine = 0;
    if (::ioctl(fd_, TIOCOUTQ, &onLine) != 0) onLine = 0;
    if ((queued_.empty() && onLine == 0) || deviceFailed_) return;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 10)));
  }
  // A device held by its handshake: drop what could not leave in time rather
  // than let close block.
  ::tcflush(fd_, TCOFLUSH);
}

void SerialPort::CheckHangUp() {
  if (deviceFailed_) return;
  pollfd p{fd_, 0, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) deviceFailed_ = true;
}

void SerialPort::FillReceive() {
  if (deviceFailed_) return;
  std::uint8_t buffer[4096];
  while (received_.size() < receiveSize_) {
    size_t room = std::min<size_t>(sizeof buffer, receiveSize_ - received_.size());
    ssize_t n = ::read(fd_, buffer, room);
    if (n > 0) {
      received_.insert(received_.end(), buffer, buffer + n);
      if (static_cast<size_t>(n) < room) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) deviceFailed_ = true;
    // A terminal without data reads 0 bytes, and so does one that hung up.
    if (n == 0) CheckHangUp();
    break;
  }
}

void SerialPort::PushSend() {
  deviceRefused_ = false;
  if (deviceFailed_) return;
  while (!queued_.empty()) {
    std::uint8_t buffer[4096];
    size_t count = std::min(queued_.size(), sizeof buffer);
    std::copy_n(queued_.begin(), count, buffer);
    ssize_t n = ::write(fd_, buffer, count);
    if (n > 0) {
      queued_.erase(queued_.begin(), queued_.begin() + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      deviceFailed_ = true;
    else
      deviceRefused_ = true;
    break;
  }
}

std::uint32_t SerialPort::ReceiveReady() {
  if (received_.empty()) FillReceive();
  return static_cast<std::uint32_t>(received_.size());
}

int SerialPort::ReceiveChar() {
  if (received_.empty()) FillReceive();
  if (received_.empty()) return -1;
  std::uint8_t byte = received_.front();
  received_.pop_front();
  return byte;
}

void SerialPort::ReceiveFlush() {
  received_.clear();
  ::tcflush(fd_, TCIFLUSH);
}

int SerialPort::SendChar(std::uint8_t byte) { return SendBuffer(&byte, 1) == 1 ? 1 : 0; }

std::uint32_t SerialPort::SendReady() {
  CheckHangUp();
  PushSend();
  if (deviceFailed_) return 0;
  return sendSize_ - static_cast<std::uint32_t>(queued_.size());
}

std::uint32_t SerialPort::SendBuffer(const std::uint8_t* data, std::uint32_t length) {
  if (length == 0) return 0;
  if (length > SendReady()) return 0;
  queued_.insert(queued_.end(), data, data + length);
  PushSend();
  return length;
}

std::uint32_t SerialPort::State() {
  CheckHangUp();
  PushSend();
  std::uint32_t state = 0;
  if (!received_.empty()) state |= SER_STATE_RECEIVED;
  if (!queued_.empty()) state |= SER_STATE_SENDING;
  int lines = 0;
  bool haveLines = ::ioctl(fd_, TIOCMGET, &lines) == 0;
  if (haveLines) {
    if (lines & TIOCM_CTS) state |= SER_STATE_CTS;
    if (lines & TIOCM_DSR) state |= SER_STATE_DSR;
    if (lines & TIOCM_CAR) state |= SER_STATE_DCD;
  }
  bool heldByHandshake = hardwareHandshake_ && haveLines && !(lines & TIOCM_CTS);
  if (deviceFailed_) state |= SER_STATE_DEVICE_LOST;
  if (deviceFailed_ || deviceRefused_ || heldByHandshake || queued_.size() >= sendSize_)
    state |= SER_STATE_CANNOT_SEND;
  return state;
}

std::uint32_t SerialPort::Control(std::uint32_t code) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  switch (code) {
    case SER_CONTROL_LINES_ON:
      // Devices without modem lines (pseudo-terminals) have nothing to raise.
      ::ioctl(fd_, TIOCMBIS, &lines);
      return SER_OK;
    case SER_CONTROL_LINES_OFF:
      ::ioctl(fd_, TIOCMBIC, &lines);
      return SER_OK;
    default:
      return SER_ERR_INVALID_PARAM;
  }
}

}  // namespace meldrix
