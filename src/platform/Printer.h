// Printer ports (LPT1..LPT3) for the outputs: a write-only, exclusively opened
// parallel-port device with the status and error bits the output checks
// before and after writing. The Linux implementation drives /dev/lp* with the
// LPGETSTATUS ioctl; tests use FakePrinterPort.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace meldrix {

// Error state bits (read and cleared by TakeErrors).
inline constexpr std::uint32_t kPrinterErrTimeout = 0x200;
inline constexpr std::uint32_t kPrinterErrIo = 0x400;
inline constexpr std::uint32_t kPrinterErrOutOfPaper = 0x1000;
inline constexpr std::uint32_t kPrinterErrors =
    kPrinterErrTimeout | kPrinterErrIo | kPrinterErrOutOfPaper;

// Parallel-port status bits (QueryStatus).
inline constexpr std::uint32_t kPrinterPaperEmpty = 0x04;
inline constexpr std::uint32_t kPrinterOffLine = 0x08;
inline constexpr std::uint32_t kPrinterPowerOff = 0x10;
inline constexpr std::uint32_t kPrinterNotConnected = 0x20;
inline constexpr std::uint32_t kPrinterBusy = 0x40;
inline constexpr std::uint32_t kPrinterRefusing =
    kPrinterPaperEmpty | kPrinterOffLine | kPrinterPowerOff | kPrinterNotConnected | kPrinterBusy;

// How long one write may wait for the printer in total.
inline constexpr int kPrinterWriteTimeoutMs = 1000;

class IPrinterPort {
 public:
  virtual ~IPrinterPort() = default;
  // Opens an existing device for writing only, shared with nobody. On
  // failure `error` receives the system's reason.
  virtual bool Open(const std::string& device, std::string* error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The error bits gathered since the last call; clears them.
  virtual std::uint32_t TakeErrors() = 0;
  // The status bits, or nullopt when the device cannot tell.
  virtual std::optional<std::uint32_t> QueryStatus() = 0;
  // Writes within kPrinterWriteTimeoutMs; returns how many bytes were taken.
  virtual std::size_t Write(const void* data, std::size_t length) = 0;
  virtual bool Flush() = 0;
  virtual bool OutputQueueEmpty() = 0;
};

using PrinterFactory = std::function<std::unique_ptr<IPrinterPort>()>;

// /dev/lp* through the Linux parallel-port printer driver.
class CLinuxPrinterPort : public IPrinterPort {
 public:
  ~CLinuxPrinterPort() override;
  bool Open(const std::string& device, std::string* error) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::uint32_t TakeErrors() override;
  std::optional<std::uint32_t> QueryStatus() override;
  std::size_t Write(const void* data, std::size_t length) override;
  bool Flush() override;
  bool OutputQueueEmpty() override { return true; }  // the driver writes through

  // The status bits for a raw LPGETSTATUS value (the port's status register).
  static std::uint32_t StatusFromRegister(int lpStatus);

 private:
  int fd_ = -1;
  std::uint32_t errors_ = 0;
};

// A printer in memory for tests: records what was written and reports the
// status and errors it is told to.
struct FakePrinterState {
  bool openFails = false;
  std::string openedDevice;
  std::string written;
  std::optional<std::uint32_t> status = 0;
  std::uint32_t pendingErrors = 0;  // reported by the next TakeErrors
  std::size_t acceptLimit = SIZE_MAX;  // bytes one Write takes at most
  int opens = 0, closes = 0;
  bool open = false;
};

class FakePrinterPort : public IPrinterPort {
 public:
  explicit FakePrinterPort(std::shared_ptr<FakePrinterState> state) : state_(std::move(state)) {}
  bool Open(const std::string& device, std::string* error) override;
  void Close() override;
  bool IsOpen() const override { return state_->open; }
  std::uint32_t TakeErrors() override;
  std::optional<std::uint32_t> QueryStatus() override { return state_->status; }
  std::size_t Write(const void* data, std::size_t length) override;
  bool Flush() override { return true; }
  bool OutputQueueEmpty() override { return true; }

 private:
  std::shared_ptr<FakePrinterState> state_;
};

}  // namespace meldrix
