#include "sources/ProtocolPort.h"

#include "util/Trace.h"

namespace meldrix {

namespace {
constexpr int kEmptyPollsInTelegram = 100;
}

bool PumpProtocol(ProtocolPort& port, ProtocolDecoder& decoder, const ProtocolLineSink& sink,
                  const std::function<void(unsigned char)>& rawCopy) {
  int emptyPolls = 0;
  for (;;) {
    std::optional<unsigned char> byte = port.ReceiveChar();
    if (!byte) {
      // The rest of a telegram is usually on its way; ask again at once.
      if (!decoder.InTelegram() || ++emptyPolls >= kEmptyPollsInTelegram) break;
      continue;
    }
    emptyPolls = 0;
    if (GetTraceMask() & kTraceProtocolBytes) TraceBytes(false, *byte);
    if (rawCopy) rawCopy(*byte);
    decoder.Feed(*byte, port, sink);
  }
  return decoder.InTelegram();
}

}  // namespace meldrix
