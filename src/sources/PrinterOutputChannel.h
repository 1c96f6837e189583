// An output on a printer port (LPT1 to LPT3); the "Ports" section of the
// configuration may map each to a device.
#pragma once

#include <memory>

#include "sources/OutputChannel.h"

namespace meldrix {

class CPrinterOutputChannel : public IOutputChannel {
 public:
  explicit CPrinterOutputChannel(const OutDestSettings& settings) : settings_(settings) {}
  ~CPrinterOutputChannel() override { Close(); }

  // An index above LPT3 fails without a message.
  bool Open(const OutPortServices& services) override;
  void Close() override;
  bool IsOpen() const override { return printer_ && printer_->IsOpen(); }
  // Refused before writing when the printer reports an error or a refusing
  // status; sent only when every byte left and no error came up.
  bool Send(std::string_view bytes, const std::string* sourceFile, const OutPortServices& services) override;
  std::string Describe() const override;

 private:
  const OutDestSettings& settings_;
  std::unique_ptr<IPrinterPort> printer_;
};

}  // namespace meldrix
