// The Ilper iNET-500 decoder: byte 0 bit 0 chooses UTC or local time stamps
// (protocol 2 or 3), bits 1-7 the size of the bursts the port delivers; the
// rest is the bytes on the line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "ProtocolHarness.h"
#include "sources/IlperProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::InstallEnv();
  if (size < 1) return 0;
  IlperProtocol decoder((data[0] & 1) ? IlperProtocol::TimeStamps::Local : IlperProtocol::TimeStamps::Utc,
                        [] {});
  fuzz::PumpAll(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), data[0] >> 1, decoder,
                [](const std::string& line) {
                  // Only a telegram within kMaxTelegram bytes becomes a line.
                  if (line.size() > IlperProtocol::kMaxTelegram + 64) std::abort();
                });
  return 0;
}
