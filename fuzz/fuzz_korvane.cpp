// Korvane's replies as the engine reads them: the answer to a send and the
// receiver and group lists of the setup.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/KorvaneReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  (void)IsKorvaneSendAccepted(reply);
  const std::vector<std::string> names = ParseKorvaneReceivers(reply);
  for (const std::string& name : names) {
    if (name.empty() || name.size() > reply.size()) std::abort();
  }
  // A second reply adds nothing that is already there.
  std::vector<std::string> merged = names;
  AddKorvaneReceivers(reply, merged);
  if (merged.size() != names.size()) std::abort();
  (void)KorvaneSendCommand(reply.substr(0, size / 2), reply.substr(size / 2));
  return 0;
}
