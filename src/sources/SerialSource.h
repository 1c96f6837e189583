// The reading side of a serial source: opens the port with the source's
// settings and hands over the bytes that wait, stopping when the caller says
// that enough messages were finished in this poll.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/SerialLibrary.h"

namespace meldrix {

inline constexpr std::uint32_t kSourceSerialBufferSize = 4096;

struct SerialSourceSettings {
  int port = 0;  // 0 = COM1
  std::uint32_t baud = 9600;
  int dataBits = 8;
  int parity = 0;
  int stopBits = 1;
  int mode = 1;
};

// Takes one received byte; returns false when the poll must stop after it
// (the per-poll message limit was reached).
using SourceByteFeed = std::function<bool(unsigned char byte)>;

class CSerialSource {
 public:
  CSerialSource() = default;
  ~CSerialSource();
  CSerialSource(const CSerialSource&) = delete;
  CSerialSource& operator=(const CSerialSource&) = delete;

  // On failure `error` receives the message box text (text 6 and the reason).
  bool Open(const SerialSourceSettings& settings, ISerialLibrary& library, std::string* error);
  void Close();
  bool IsOpen() const { return handle_ != 0; }
  SerHandle Handle() const { return handle_; }
  ISerialLibrary* Library() const { return library_; }

  // Hands every waiting byte to `feed`. Returns false when `feed` stopped
  // early, so the rest waits in the library for the next, immediate poll.
  bool ReadWaiting(const SourceByteFeed& feed);

 private:
  ISerialLibrary* library_ = nullptr;
  SerHandle handle_ = 0;
};

}  // namespace meldrix
