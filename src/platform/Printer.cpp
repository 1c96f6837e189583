#include "platform/Printer.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace meldrix {

CLinuxPrinterPort::~CLinuxPrinterPort() { Close(); }

bool CLinuxPrinterPort::Open(const std::string& device, std::string* error) {
  Close();
  int fd = ::open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  // "Shared with nobody": an exclusive lock keeps out every other opener that locks.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (error) *error = "the device is in use";
    ::close(fd);
    return false;
  }
  fd_ = fd;
  errors_ = 0;
  return true;
}

void CLinuxPrinterPort::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::uint32_t CLinuxPrinterPort::TakeErrors() {
  std::uint32_t errors = errors_;
  errors_ = 0;
  return errors;
}

std::uint32_t CLinuxPrinterPort::StatusFromRegister(int lpStatus) {
  std::uint32_t bits = 0;
  if (lpStatus & LP_POUTPA) bits |= kPrinterPaperEmpty;
  if (!(lpStatus & LP_PSELECD)) bits |= kPrinterOffLine;
  if (!(lpStatus & LP_PBUSY)) bits |= kPrinterBusy;  // the busy line is inverted
  // A port without a printer floats all lines high or low.
  if ((lpStatus & 0xF8) == 0xF8 || (lpStatus & 0xF8) == 0) bits |= kPrinterNotConnected;
  return bits;
}

std::optional<std::uint32_t> CLinuxPrinterPort::QueryStatus() {
  if (fd_ < 0) return std::nullopt;
  int status = 0;
  if (::ioctl(fd_, LPGETSTATUS, &status) != 0) return std::nullopt;
  return StatusFromRegister(status);
}

std::size_t CLinuxPrinterPort::Write(const void* data, std::size_t length) {
  if (fd_ < 0) return 0;
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPrinterWriteTimeoutMs);
  while (done < length) {
    ssize_t n = ::write(fd_, bytes + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      errors_ |= (errno == ENOSPC) ? kPrinterErrOutOfPaper : kPrinterErrIo;
      break;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      errors_ |= kPrinterErrTimeout;
      break;
    }
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return done;
}

bool CLinuxPrinterPort::Flush() { return fd_ >= 0; }

bool FakePrinterPort::Open(const std::string& device, std::string* error) {
  ++state_->opens;
  if (state_->openFails) {
    if (error) *error = "No such device";
    return false;
  }
  state_->openedDevice = device;
  state_->open = true;
  return true;
}

void FakePrinterPort::Close() {
  if (state_->open) ++state_->closes;
  state_->open = false;
}

std::uint32_t FakePrinterPort::TakeErrors() {
  std::uint32_t errors = state_->pendingErrors;
  state_->pendingErrors = 0;
  return errors;
}

std::size_t FakePrinterPort::Write(const void* data, std::size_t length) {
  std::size_t taken = std::min(length, state_->acceptLimit);
  state_->written.append(static_cast<const char*>(data), taken);
  if (taken < length) state_->pendingErrors |= kPrinterErrTimeout;
  return taken;
}

}  // namespace meldrix
