#include "platform/SerialTermios.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/SerialParams.h"

namespace meldrix {

namespace {

std::uint32_t OpenErrorFromErrno(int error) {
  switch (error) {
    case EBUSY:
      return SER_ERR_PORT_IN_USE;
    case ENOMEM:
      return SER_ERR_NO_MEMORY;
    default:  // ENOENT, ENODEV, ENXIO, EACCES, ... : the port cannot be had
      return SER_ERR_NOT_AVAILABLE;
  }
}

}  // namespace

CTermiosSerialLibrary::CTermiosSerialLibrary(ConfigValueReader ports) : ports_(std::move(ports)) {}

CTermiosSerialLibrary::~CTermiosSerialLibrary() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (wakeFd_ >= 0) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
  }
  if (sender_.joinable()) sender_.join();
  open_.clear();  // drains and closes every port still open
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void CTermiosSerialLibrary::WakeSenderIfQueued(SerialPort& port) {
  if (!port.HasQueued()) return;
  if (wakeFd_ < 0) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return;  // bytes then leave with the next call on the port
    sender_ = std::thread([this] { SenderLoop(); });
  }
  std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

void CTermiosSerialLibrary::SenderLoop() {
  std::vector<pollfd> fds;
  for (;;) {
    fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (auto& [handle, port] : open_) {
        port->PushSend();
        if (port->HasQueued()) fds.push_back(pollfd{port->Fd(), POLLOUT, 0});
      }
    }
    // Devices that signal room are pushed on the next round; the timeout
    // covers devices whose handshake ends without a poll event.
    int timeout = fds.size() > 1 ? 20 : -1;
    if (::poll(fds.data(), fds.size(), timeout) > 0 && (fds[0].revents & POLLIN)) {
      std::uint64_t count;
      [[maybe_unused]] auto got = ::read(wakeFd_, &count, sizeof count);
    }
  }
}

SerHandle CTermiosSerialLibrary::SerOpen(const std::uint8_t* block, std::uint32_t* error) {
  std::uint32_t ignored = 0;
  if (!error) error = &ignored;
  SerPortParams params;
  *error = CheckSerParamBlock(block, params);
  if (*error) return 0;
  SerTermios settings = TranslateSerParams(params);

  std::string device = SerialDevicePath(params.port, ports_);
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = OpenErrorFromErrno(errno);
    return 0;
  }
  auto fail = [&](std::uint32_t code) -> SerHandle {
    ::close(fd);
    *error = code;
    return 0;
  };
  termios current;
  if (::tcgetattr(fd, &current) != 0) return fail(SER_ERR_NOT_AVAILABLE);  // not a terminal
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return fail(errno == EWOULDBLOCK ? SER_ERR_PORT_IN_USE : SER_ERR_NOT_AVAILABLE);
  ::ioctl(fd, TIOCEXCL);
  if (::tcsetattr(fd, TCSANOW, &settings.settings) != 0) {
    ::ioctl(fd, TIOCNXCL);
    return fail(SER_ERR_INVALID_PARAM);  // e.g. a speed the UART cannot do
  }

  std::lock_guard lock(mutex_);
  SerHandle handle = nextHandle_++;
  if (nextHandle_ == 0) nextHandle_ = 1;
  open_.emplace(handle, std::make_unique<SerialPort>(fd, params.receiveBufferSize,
                                                      params.sendBufferSize,
                                                      params.handshake == kSerHandshakeHardware));
  *error = SER_OK;
  return handle;
}

SerialPort* CTermiosSerialLibrary::Find(SerHandle handle) {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second.get();
}

std::uint32_t CTermiosSerialLibrary::SerControl(SerHandle handle, std::uint32_t code) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  return port ? port->Control(code) : SER_ERR_INVALID_PORT;
}

void CTermiosSerialLibrary::SerClose(SerHandle handle) {
  std::unique_ptr<SerialPort> closing;
  {
    std::lock_guard lock(mutex_);
    auto it = open_.find(handle);
    if (it == open_.end()) return;
    closing = std::move(it->second);
    open_.erase(it);
  }
  closing.reset();  // drains and closes outside the lock
}

std::uint32_t CTermiosSerialLibrary::SerReceiveReady(SerHandle handle) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  return port ? port->ReceiveReady() : 0;
}

int CTermiosSerialLibrary::SerReceiveChar(SerHandle handle) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  return port ? port->ReceiveChar() : -1;
}

void CTermiosSerialLibrary::SerReceiveFlush(SerHandle handle) {
  std::lock_guard lock(mutex_);
  if (SerialPort* port = Find(handle)) port->ReceiveFlush();
}

int CTermiosSerialLibrary::SerSendChar(SerHandle handle, std::uint8_t byte) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  if (!port) return 0;
  int queued = port->SendChar(byte);
  WakeSenderIfQueued(*port);
  return queued;
}

std::uint32_t CTermiosSerialLibrary::SerSendReady(SerHandle handle) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  return port ? port->SendReady() : 0;
}

std::uint32_t CTermiosSerialLibrary::SerSendBuffer(SerHandle handle, const void* data,
                                                   std::uint32_t length) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  if (!port || (!data && length)) return 0;
  std::uint32_t queued = port->SendBuffer(static_cast<const std::uint8_t*>(data), length);
  WakeSenderIfQueued(*port);
  return queued;
}

std::uint32_t CTermiosSerialLibrary::SerState(SerHandle handle) {
  std::lock_guard lock(mutex_);
  SerialPort* port = Find(handle);
  return port ? port->State() : SER_STATE_CANNOT_SEND;
}

}  // namespace meldrix
