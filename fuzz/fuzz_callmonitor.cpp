// The ISDN call data: the call-monitor line protocol as a router sends it,
// in pieces of the size byte 0 gives, and the endpoint setting.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "sources/CallMonitor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::LimitCounts::Watch("call-monitor line length");
  if (size < 1) return 0;
  const std::size_t piece = std::size_t{data[0]} + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  CallMonitorLineSplitter splitter;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const std::size_t dropped = splitter.Feed(bytes.substr(at, piece), [](std::string_view line) {
      if (line.size() > CallMonitorLineSplitter::kMaxLine) std::abort();
      if (auto ring = ParseCallMonitorLine(line)) {
        if (ring->calling.size() + ring->called.size() > line.size()) std::abort();
      }
    });
    if (dropped > 0) fuzz::LimitCounts::Met("call-monitor line length");
  }
  if (auto endpoint = ParseCallMonitorEndpoint(bytes)) {
    if (endpoint->port == 0) std::abort();
  }
  return 0;
}
