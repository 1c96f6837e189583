// The DDE wire framing: the bytes a peer writes to a conversation socket,
// arriving in pieces of the size byte 0 gives. A complete frame encodes back
// to exactly the bytes it was taken from; a wild-connect reply list decodes
// and encodes back the same way.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/DdeFrame.h"
#include "platform/DdeTypes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::LimitCounts::Watch("DDE frame size");
  if (size < 1) return 0;
  const std::size_t piece = std::size_t{data[0]} + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string buffer;
  std::size_t consumed = 0;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    buffer.append(bytes.substr(at, piece));
    for (;;) {
      const std::string before = buffer;
      DdeFrame frame;
      const DdeFrameStatus status = TakeDdeFrame(buffer, frame);
      if (status != DdeFrameStatus::Complete) {
        if (buffer != before) std::abort();  // only a whole frame is taken
        if (status == DdeFrameStatus::Malformed) {  // the connection ends here
          const auto* b = reinterpret_cast<const unsigned char*>(buffer.data());
          if ((b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24)) > kDdeMaxFrame)
            fuzz::LimitCounts::Met("DDE frame size");
          return 0;
        }
        break;
      }
      const std::size_t taken = before.size() - buffer.size();
      if (EncodeDdeFrame(frame) != std::string_view(before).substr(0, taken)) std::abort();
      consumed += taken;
      if (auto pairs = DecodeServiceTopics(frame.data)) {
        if (EncodeServiceTopics(*pairs) != frame.data) std::abort();
      }
    }
  }
  if (consumed + buffer.size() != bytes.size()) std::abort();
  return 0;
}
