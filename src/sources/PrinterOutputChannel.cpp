#include "sources/PrinterOutputChannel.h"

#include <cstdio>

#include "platform/SerialPortMap.h"
#include "sources/SerialSourceErrors.h"
#include "util/StringTable.h"

namespace meldrix {

bool CPrinterOutputChannel::Open(const OutPortServices& services) {
  if (IsOpen()) return true;
  const int index = settings_.m_Port - kOutFirstPrinterPort;
  if (settings_.m_Port > kOutLastPrinterPort) return false;
  std::string name = "LPT" + std::to_string(index + 1);
  std::string device = MappedDevicePath(name, "/dev/lp" + std::to_string(index), services.config);
  printer_ = services.printers ? services.printers() : std::make_unique<CLinuxPrinterPort>();
  std::string reason;
  if (!printer_ || !printer_->Open(device, &reason)) {
    printer_.reset();
    services.ShowError(FillText(LoadText("IDS_OUTPUT_PORT_OPEN_FAILED"), {name + ":"}) +
                       (reason.empty() ? "" : device + ": " + reason));
    return false;
  }
  return true;
}

void CPrinterOutputChannel::Close() {
  if (printer_) printer_->Close();
  printer_.reset();
}

bool CPrinterOutputChannel::Send(std::string_view bytes, const std::string*, const OutPortServices& services) {
  if (!IsOpen() && !Open(services)) return false;
  if (printer_->TakeErrors() & kPrinterErrors) return false;
  if (auto status = printer_->QueryStatus(); status && (*status & kPrinterRefusing)) return false;
  bool ok = printer_->Write(bytes.data(), bytes.size()) == bytes.size();
  ok = printer_->Flush() && ok;
  ok = !(printer_->TakeErrors() & kPrinterErrors) && ok;
  ok = printer_->OutputQueueEmpty() && ok;
  if (ok && settings_.m_FileMode != 0) Close();
  return ok;
}

std::string CPrinterOutputChannel::Describe() const {
  char port[32];
  std::snprintf(port, sizeof port, " LPT%d:", settings_.m_Port - 8);
  return LoadText("IDS_DESCRIBE_PORT") + port;
}

}  // namespace meldrix
