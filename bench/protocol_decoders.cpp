// Decoding speed of the Siedle and Ilper telegram decoders, tracing off. The
// decoders are fed directly: the running program's protocol timer, which
// pumps the serial bytes into them, is bypassed.
#include <benchmark/benchmark.h>

#include "sources/IlperProtocol.h"
#include "sources/SiedleProtocol.h"

namespace {

using namespace meldrix;

class NullPort : public ProtocolPort {
 public:
  std::optional<unsigned char> ReceiveChar() override { return std::nullopt; }
  void SendChar(unsigned char) override {}
  void ReceiveFlush() override {}
};

void BM_SiedleEventTelegram(benchmark::State& state) {
  const unsigned char body[] = {0x01, 0x4A, 0x02, 0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF, 0x04,
                                0x00, 0x00, 0x05, 0x00, 0x01, 0x02, 0x04};
  std::string wire(1, '\x02');
  unsigned sum = 0;
  for (unsigned char b : body) {
    wire.push_back(static_cast<char>(b));
    sum += b;
  }
  wire.push_back(static_cast<char>(-sum & 0xFF));
  wire.push_back('\x03');
  SiedleProtocol decoder;
  NullPort port;
  int64_t lines = 0;
  ProtocolLineSink sink = [&](std::string) { ++lines; };
  for (auto _ : state) {
    for (char c : wire) decoder.Feed(static_cast<unsigned char>(c), port, sink);
  }
  if (lines != state.iterations()) state.SkipWithError("telegram not decoded");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * wire.size()));
  state.SetLabel("decoder only; bypasses the protocol timer");
}
BENCHMARK(BM_SiedleEventTelegram);

void BM_IlperTelegram(benchmark::State& state) {
  std::string body = "\x02" "A1\x1e" "5FEE6600\x1e" "Brandmeldung Halle 3; Melder 12\x1e" "K\x1e" "77\x03";
  uint16_t crc = 0xFFFF;
  for (char c : body) crc = IlperProtocol::Crc16Modbus(crc, static_cast<unsigned char>(c));
  std::string wire = body + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
  IlperProtocol decoder(IlperProtocol::TimeStamps::Local, nullptr);
  NullPort port;
  int64_t lines = 0;
  ProtocolLineSink sink = [&](std::string) { ++lines; };
  for (auto _ : state) {
    for (char c : wire) decoder.Feed(static_cast<unsigned char>(c), port, sink);
  }
  if (lines != state.iterations()) state.SkipWithError("telegram not decoded");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * wire.size()));
  state.SetLabel("decoder only; bypasses the protocol timer");
}
BENCHMARK(BM_IlperTelegram);

}  // namespace
