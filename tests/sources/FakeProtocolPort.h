// A serial port for the device-protocol decoders: bytes queued for receiving,
// bytes sent and flushes recorded in one event list.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "sources/ProtocolPort.h"

namespace meldrix {

class FakeProtocolPort : public ProtocolPort {
 public:
  void Queue(const std::string& bytes) { received_.insert(received_.end(), bytes.begin(), bytes.end()); }
  std::optional<unsigned char> ReceiveChar() override {
    ++receiveCalls;
    if (received_.empty()) return std::nullopt;
    auto byte = static_cast<unsigned char>(received_.front());
    received_.pop_front();
    return byte;
  }
  void SendChar(unsigned char byte) override { events.push_back(byte == 0x06 ? "ACK" : byte == 0x15 ? "NAK" : "?"); }
  void ReceiveFlush() override {
    events.push_back("flush");
    flushed += static_cast<int>(received_.size());
    received_.clear();
  }
  std::vector<std::string> events;
  int flushed = 0;  // bytes thrown away by flushes
  int receiveCalls = 0;

 private:
  std::deque<char> received_;
};

// Feeds every byte of `bytes` and collects the lines the decoder hands over.
template <typename Decoder>
std::vector<std::string> FeedAll(Decoder& decoder, FakeProtocolPort& port, const std::string& bytes) {
  std::vector<std::string> lines;
  ProtocolLineSink sink = [&](std::string line) { lines.push_back(std::move(line)); };
  for (char c : bytes) decoder.Feed(static_cast<unsigned char>(c), port, sink);
  return lines;
}

}  // namespace meldrix
