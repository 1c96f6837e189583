// The serial-port library the sources and outputs use: ten port operations
// with numeric handles (0 = no port) and error words. The coarse timers that
// belong to the same library are in platform/Timer.h.
//
// The process-wide instance is a CTermiosSerialLibrary unless replaced; tests
// install a FakeSerialLibrary (platform/SerialFake.h).
#pragma once

#include <cstdint>
#include <memory>

namespace meldrix {

using SerHandle = std::uint32_t;

// Error words of SerOpen (and of SerControl).
inline constexpr std::uint32_t SER_OK = 0;
inline constexpr std::uint32_t SER_ERR_INVALID_PORT = 1;    // port number 0 or above 255
inline constexpr std::uint32_t SER_ERR_PORT_IN_USE = 2;     // opened by us or another process
inline constexpr std::uint32_t SER_ERR_NOT_AVAILABLE = 4;   // no such device, or not a serial port
inline constexpr std::uint32_t SER_ERR_NO_MEMORY = 8;       // buffers too large
inline constexpr std::uint32_t SER_ERR_INVALID_PARAM = 16;  // settings the port cannot take

// SerState bits. Only kSerStateCannotSend is relied on by callers.
inline constexpr std::uint32_t SER_STATE_RECEIVED = 0x01;     // received bytes wait
inline constexpr std::uint32_t SER_STATE_SENDING = 0x04;      // send buffer not empty
inline constexpr std::uint32_t SER_STATE_CTS = 0x10;          // clear to send is on
inline constexpr std::uint32_t SER_STATE_DSR = 0x20;          // data set ready is on
inline constexpr std::uint32_t SER_STATE_CANNOT_SEND = 0x40;  // the port cannot send now
inline constexpr std::uint32_t SER_STATE_DCD = 0x80;          // carrier detect is on
inline constexpr std::uint32_t SER_STATE_DEVICE_LOST = 0x100;  // the device failed (unplugged)

// SerControl codes.
inline constexpr std::uint32_t SER_CONTROL_LINES_OFF = 1;  // lower DTR and RTS
inline constexpr std::uint32_t SER_CONTROL_LINES_ON = 2;   // raise DTR and RTS (after open)

class ISerialLibrary {
 public:
  virtual ~ISerialLibrary() = default;

  // `block` is the 30-byte port parameter block (platform/SerialParams.h).
  // Returns the handle, or 0 with the reason in *error.
  virtual SerHandle SerOpen(const std::uint8_t* block, std::uint32_t* error) = 0;
  // 0 on success, else an error word.
  virtual std::uint32_t SerControl(SerHandle handle, std::uint32_t code) = 0;
  virtual void SerClose(SerHandle handle) = 0;
  // Number of received bytes waiting (nonzero while at least one waits).
  virtual std::uint32_t SerReceiveReady(SerHandle handle) = 0;
  // The next received byte, or -1 when none waits.
  virtual int SerReceiveChar(SerHandle handle) = 0;
  // Discards every received byte that waits, in the library and the device.
  virtual void SerReceiveFlush(SerHandle handle) = 0;
  // 1 when the byte was queued, 0 when the send buffer is full.
  virtual int SerSendChar(SerHandle handle, std::uint8_t byte) = 0;
  // Number of bytes the send buffer can take now.
  virtual std::uint32_t SerSendReady(SerHandle handle) = 0;
  // Queues all `length` bytes and returns `length`, or queues nothing and
  // returns 0 when they do not fit (a message is never cut).
  virtual std::uint32_t SerSendBuffer(SerHandle handle, const void* data, std::uint32_t length) = 0;
  // Line state bits (SER_STATE_*). An unknown handle cannot send.
  virtual std::uint32_t SerState(SerHandle handle) = 0;
};

// The serial library of the process's environment (platform/Env.h): a
// CTermiosSerialLibrary with the default port names unless another is installed.
ISerialLibrary& SerialLibrary();

}  // namespace meldrix
