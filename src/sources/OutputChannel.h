// The writing side of an output behind one interface: a serial port, a
// printer port or a file. The engine's output owns one, made by
// MakeOutputChannel from its settings; the channel holds only run-time state.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sources/OutDestSettings.h"
#include "sources/PortServices.h"

namespace meldrix {

class IOutputChannel {
 public:
  virtual ~IOutputChannel() = default;
  // Opens the port or file; shows the failure as a message box and returns false.
  virtual bool Open(const OutPortServices& services) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Writes one message, opening first when closed. `sourceFile` is the file
  // setting of the source that delivered it (for $INFILE), or null.
  virtual bool Send(std::string_view bytes, const std::string* sourceFile, const OutPortServices& services) = 0;
  // The channel's part of the description, after "Name=" ("Port LPT1:").
  virtual std::string Describe() const = 0;
};

enum class OutputChannelKind { kSerial, kPrinter, kFile };

// Which channel the settings ask for: a file destination, a printer port
// (index 9 and up) or else a serial port.
OutputChannelKind OutputChannelKindOf(const OutDestSettings& settings);
// The channel for `settings`. It keeps a reference to `settings`, which must
// outlive it; when OutputChannelKindOf changes, a new channel is needed.
std::unique_ptr<IOutputChannel> MakeOutputChannel(const OutDestSettings& settings);

}  // namespace meldrix
