// The writing side of an output: opens a serial port, a printer port or a
// file and writes raw bytes to it. COutPort keeps one channel and hands it
// its settings; the channel holds only run-time state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ConfigValueReader.h"
#include "platform/Printer.h"
#include "platform/SerialLibrary.h"

namespace meldrix {

inline constexpr int kOutDestPort = 1;
inline constexpr int kOutDestFile = 2;
inline constexpr int kOutFirstPrinterPort = 9;  // 9..11 = LPT1..LPT3
inline constexpr int kOutLastPrinterPort = 11;
inline constexpr std::uint32_t kOutSerialBufferSize = 1024;

// The settings of an output that opening and writing need.
struct OutPortTarget {
  int dest = kOutDestPort;
  std::string file;
  int port = 9;
  std::uint32_t baud = 9600;
  int dataBits = 8;
  int parity = 0;  // 0 none, 1 even, 2 odd, 3 mark, 4 space
  int stopBits = 1;
  int mode = 1;  // handshake: 0 none, 1 hardware, 2 XON/XOFF
  bool fileMode = true;  // close after every message
};

// What an output uses from the rest of the program; every member may be
// left empty for its default.
struct OutPortServices {
  ISerialLibrary* serial = nullptr;  // SerialLibrary() when null
  PrinterFactory printers;           // CLinuxPrinterPort when empty
  ConfigValueReader config;          // section "Ports" for the LPT devices
  // The expansion of expression blocks in a text (pass-through when empty).
  std::function<std::string(const std::string&)> expand;
  // Sets a variable of the expression context ($INFILE).
  std::function<void(const std::string& name, const std::string& value)> setVariable;
  // A message box with the error icon.
  std::function<void(const std::string& text)> showError;
};

// The serial parity letter for a stored parity value (N for unknown values).
std::uint8_t ParityLetter(int parity);

class COutPortChannel {
 public:
  COutPortChannel() = default;
  ~COutPortChannel();
  COutPortChannel(const COutPortChannel&) = delete;
  COutPortChannel& operator=(const COutPortChannel&) = delete;

  // Opens the file, printer or serial port; shows the failure as a message
  // box and returns false.
  bool Open(const OutPortTarget& target, const OutPortServices& services);
  void Close();
  bool IsOpen() const;

  // Writes one message. `sourceFile` is the file setting of the source that
  // delivered it (for $INFILE), or null when no source is given.
  bool Send(const OutPortTarget& target, const OutPortServices& services, std::string_view bytes,
            const std::string* sourceFile);

  const std::string& ResolvedName() const { return resolvedName_; }

 private:
  bool OpenFile(const OutPortServices& services);
  bool OpenPrinter(const OutPortTarget& target, const OutPortServices& services);
  bool OpenSerial(const OutPortTarget& target, const OutPortServices& services);
  bool SendSerial(std::string_view bytes, const OutPortServices& services);
  bool SendFile(const OutPortTarget& target, std::string_view bytes);
  bool SendPrinter(const OutPortTarget& target, std::string_view bytes);

  ISerialLibrary* serialLibrary_ = nullptr;  // the library that gave serial_
  SerHandle serial_ = 0;
  int fileFd_ = -1;
  std::unique_ptr<IPrinterPort> printer_;
  std::string resolvedName_;
  bool hasResolvedName_ = false;
};

}  // namespace meldrix
