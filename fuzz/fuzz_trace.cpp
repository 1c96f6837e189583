// The trace channel's outside inputs: the "TraceServer" setting (the first
// line) and the framed answers of a trace server on TCP (the rest), cut as
// the channel cuts them (byte 0: the most it keeps of one answer).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/TracePipe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::LimitCounts::Watch("trace frame size");
  if (size < 1) return 0;
  const std::size_t maxBytes = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t nl = rest.find('\n');
  const TraceEndpoint endpoint = TraceEndpointFor(rest.substr(0, nl));
  (void)endpoint.Describe();
  rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);

  while (rest.size() >= 4) {
    const std::optional<std::uint32_t> length = TraceFrameLength(rest.substr(0, 4));
    if (!length) {  // a broken peer: the connection ends
      fuzz::LimitCounts::Met("trace frame size");
      return 0;
    }
    if (*length > kTraceMaxFrame) std::abort();
    rest.remove_prefix(4);
    if (rest.size() < *length) return 0;  // the peer closed within the message
    std::string message(rest.substr(0, *length));
    rest.remove_prefix(*length);
    if (message.size() > maxBytes) message.resize(maxBytes);
    // A message goes out again behind the header it came with.
    const std::string header = TraceFrameHeader(*length);
    if (TraceFrameLength(header) != length) std::abort();
  }
  return 0;
}
