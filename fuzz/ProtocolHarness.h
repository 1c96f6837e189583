// A serial port for the device-protocol decoders that hands out the input
// bytes and keeps what the decoder answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sources/ProtocolPort.h"

namespace meldrix::fuzz {

class BytePort : public ProtocolPort {
 public:
  explicit BytePort(std::string_view bytes) : bytes_(bytes) {}
  // Hands out at most `burst` bytes before it reports an empty port once, so
  // telegrams also arrive spread over several pumping steps.
  void SetBurst(std::size_t burst) { burst_ = burst == 0 ? 1 : burst; }
  std::optional<unsigned char> ReceiveChar() override {
    if (pos_ >= bytes_.size() || given_ == burst_) {
      given_ = 0;
      return std::nullopt;
    }
    ++given_;
    return static_cast<unsigned char>(bytes_[pos_++]);
  }
  void SendChar(unsigned char byte) override { sent += static_cast<char>(byte); }
  void ReceiveFlush() override { pos_ = bytes_.size(); }
  bool Done() const { return pos_ >= bytes_.size(); }
  std::string sent;

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  std::size_t burst_ = SIZE_MAX;
  std::size_t given_ = 0;
};

// Pumps the decoder until the port is empty, as the source's timer would.
template <typename Decoder, typename Check>
void PumpAll(std::string_view bytes, std::size_t burst, Decoder& decoder, Check check) {
  BytePort port(bytes);
  port.SetBurst(burst);
  std::size_t lines = 0;
  const ProtocolLineSink sink = [&](std::string line) {
    ++lines;
    check(line);
  };
  // Every pass takes at least one byte, so this ends.
  for (std::size_t pass = 0; !port.Done() && pass <= bytes.size() + 1; ++pass)
    PumpProtocol(port, decoder, sink, [](unsigned char) {});
  (void)lines;
}

}  // namespace meldrix::fuzz
