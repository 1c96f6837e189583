// An output on a serial port (COM1 to COM9).
#pragma once

#include "sources/OutputChannel.h"

namespace meldrix {

inline constexpr std::uint32_t kOutSerialBufferSize = 1024;

class CSerialOutputChannel : public IOutputChannel {
 public:
  explicit CSerialOutputChannel(const OutDestSettings& settings) : settings_(settings) {}
  ~CSerialOutputChannel() override { Close(); }
  CSerialOutputChannel(const CSerialOutputChannel&) = delete;
  CSerialOutputChannel& operator=(const CSerialOutputChannel&) = delete;

  bool Open(const OutPortServices& services) override;
  void Close() override;
  bool IsOpen() const override { return handle_ != 0; }
  // A message is sent whole or not at all; nothing waits for the bytes to leave.
  bool Send(std::string_view bytes, const std::string* sourceFile, const OutPortServices& services) override;
  std::string Describe() const override;

 private:
  const OutDestSettings& settings_;
  ISerialLibrary* library_ = nullptr;  // the library that gave handle_
  SerHandle handle_ = 0;
};

}  // namespace meldrix
