// The Siedle bus decoder: byte 0 is the size of the bursts the port
// delivers, the rest the bytes on the line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "ProtocolHarness.h"
#include "sources/SiedleProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::InstallEnv();
  if (size < 1) return 0;
  SiedleProtocol decoder;
  fuzz::PumpAll(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), data[0], decoder,
                [](const std::string& line) {
                  // A telegram holds at most kMaxFunctionInfo hex digits of info.
                  if (line.size() > 4 * SiedleProtocol::kMaxFunctionInfo + 200) std::abort();
                });
  return 0;
}
