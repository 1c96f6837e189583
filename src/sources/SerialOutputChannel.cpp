#include "sources/SerialOutputChannel.h"

#include <cstdio>

#include "platform/SerialParams.h"
#include "sources/SerialOpenParams.h"
#include "sources/SerialSourceErrors.h"
#include "util/StringTable.h"

namespace meldrix {

bool CSerialOutputChannel::Open(const OutPortServices& services) {
  if (handle_ != 0) return true;
  if (settings_.m_Port < 0) return false;  // no port index: fails without a message
  SerParamBlock block =
      SerialOpenBlock(settings_.m_Port, static_cast<std::uint32_t>(settings_.m_Baud), settings_.m_DataBit,
                      settings_.m_Parity, settings_.m_StopBit, settings_.m_Mode, kOutSerialBufferSize);
  ISerialLibrary& library = services.SerialOrDefault();
  std::uint32_t error = 0;
  SerHandle handle = library.SerOpen(block.data(), &error);
  if (handle == 0) {
    services.ShowError(FillText(LoadText("IDS_OUTPUT_PORT_OPEN_FAILED"),
                                {"COM" + std::to_string(settings_.m_Port + 1) + ":"}) +
                       SerialErrorReason(error));
    return false;
  }
  library.SerControl(handle, SER_CONTROL_LINES_ON);
  handle_ = handle;
  library_ = &library;
  return true;
}

void CSerialOutputChannel::Close() {
  if (handle_ != 0 && library_) library_->SerClose(handle_);
  handle_ = 0;
  library_ = nullptr;
}

bool CSerialOutputChannel::Send(std::string_view bytes, const std::string*, const OutPortServices& services) {
  if (!IsOpen() && !Open(services)) return false;
  if (library_->SerState(handle_) & SER_STATE_CANNOT_SEND) return false;
  if (library_->SerSendReady(handle_) < bytes.size()) return false;
  return library_->SerSendBuffer(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size())) == bytes.size();
}

std::string CSerialOutputChannel::Describe() const {
  char port[64];
  std::snprintf(port, sizeof port, " COM%d: %ld baud", settings_.m_Port + 1, settings_.m_Baud);
  return LoadText("IDS_DESCRIBE_PORT") + port;
}

}  // namespace meldrix
