// What a device-protocol decoder (Siedle, Ilper) needs from its serial port,
// and the pumping step that feeds it: the source's serial port is adapted to
// ProtocolPort, tests use a fake.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace meldrix {

class ProtocolPort {
 public:
  virtual ~ProtocolPort() = default;
  // The next received byte, or nullopt when none is waiting.
  virtual std::optional<unsigned char> ReceiveChar() = 0;
  // Sends one byte (the acknowledgement).
  virtual void SendChar(unsigned char byte) = 0;
  // Discards everything received and not yet read.
  virtual void ReceiveFlush() = 0;
};

// Receives a decoded telegram as one complete line of text (Windows-1252).
// Every call is one message: the caller keeps telegrams apart rather than
// running them together in one receive buffer.
using ProtocolLineSink = std::function<void(std::string line)>;

// A decoder takes the received bytes one at a time.
class ProtocolDecoder {
 public:
  virtual ~ProtocolDecoder() = default;
  // port answers the telegram; sink gets its text when it is complete and good.
  virtual void Feed(unsigned char byte, ProtocolPort& port, const ProtocolLineSink& sink) = 0;
  // True while a telegram has begun and not yet ended.
  virtual bool InTelegram() const = 0;
};

// One pumping step: every waiting byte is traced (when protocol-byte tracing
// is on), copied raw to the source's output (when rawCopy is set) and fed to
// the decoder. While the decoder is inside a telegram and no byte waits, the
// port is asked again, up to 100 times in a row. Returns InTelegram(), which
// tells the protocol timer to come back sooner.
bool PumpProtocol(ProtocolPort& port, ProtocolDecoder& decoder, const ProtocolLineSink& sink,
                  const std::function<void(unsigned char)>& rawCopy = nullptr);

}  // namespace meldrix
