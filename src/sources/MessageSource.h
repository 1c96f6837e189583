// A message source of one kind behind one interface: the engine's source
// owns one, made by MakeMessageSource from its settings, and feeds what it
// reads into an IMessageSink of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sources/InSourceSettings.h"
#include "sources/PortServices.h"

namespace meldrix {

// Where a source's bytes go; the engine implements it with its message
// assembly and the raw copy to the source's output.
class IMessageSink {
 public:
  virtual ~IMessageSink() = default;
  // One received byte of plain text: copied raw to the output, then given to
  // the per-character step. False when the poll must stop after it (enough
  // messages were finished in this poll).
  virtual bool TakeByte(unsigned char byte) = 0;
  // One byte a device protocol decodes: copied raw to the output only.
  virtual void CopyRaw(unsigned char byte) = 0;
  // One decoded telegram: a finished message of its own.
  virtual void TakeTelegram(std::string line) = 0;
  // The text read so far is complete (a whole file): a message held back for
  // continuation lines is handed over at the end of this poll instead of
  // waiting for the multi-line time-out.
  virtual void EndOfText() = 0;
};

class IMessageSource {
 public:
  virtual ~IMessageSource() = default;
  // False on failure; the kinds that have a reason show it through
  // `services.showError`.
  virtual bool Open(const OutPortServices& services) = 0;
  virtual void Close() = 0;
  // The kind's part of the description, after "Name=" ("Port COM1: 9600 baud").
  virtual std::string Describe() const = 0;
  // Reads what waits into `sink`; returns the milliseconds until the next
  // poll (0: the rest waits and is read at once).
  virtual std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) = 0;
  // True when input arrived that the next poll should read now, before its
  // poll time has come (a file dropped into a watched folder). Cheap: asked
  // at every delivery pass.
  virtual bool InputWaiting() { return false; }
  // The file setting an output names as $INFILE for this source's bytes, or null.
  virtual const std::string* FileForOutput() const { return nullptr; }
  // True while the source is open and a device protocol decodes its bytes.
  virtual bool HasDeviceProtocol() const { return false; }
  // One protocol timer step; true while the decoder is inside a telegram.
  // `handlePendingEvents` is given to the decoders that need it.
  virtual bool PumpDeviceProtocol(IMessageSink& /*sink*/,
                                  const std::function<void()>& /*handlePendingEvents*/) {
    return false;
  }
};

// The source object for the kind in `settings.m_Source`. It keeps a reference
// to `settings`, which must outlive it.
std::unique_ptr<IMessageSource> MakeMessageSource(const InSourceSettings& settings);

// Poll interval of the kinds that have no reason to wait longer or shorter.
inline constexpr std::uint32_t kSourcePollMs = 100;

}  // namespace meldrix
