#include "sources/SerialSource.h"

#include "platform/SerialParams.h"
#include "sources/SerialOpenParams.h"
#include "sources/SerialSourceErrors.h"
#include "util/StringTable.h"

namespace meldrix {

CSerialSource::~CSerialSource() { Close(); }

bool CSerialSource::Open(const SerialSourceSettings& settings, ISerialLibrary& library,
                         std::string* error) {
  Close();
  SerParamBlock block = SerialOpenBlock(settings.port, settings.baud, settings.dataBits, settings.parity,
                                        settings.stopBits, settings.mode, kSourceSerialBufferSize);
  std::uint32_t code = 0;
  SerHandle handle = library.SerOpen(block.data(), &code);
  if (handle == 0) {
    if (error)
      *error = FillText(LoadText("IDS_SOURCE_PORT_OPEN_FAILED"),
                        {"COM" + std::to_string(settings.port + 1)}) +
               SerialErrorReason(code);
    return false;
  }
  library.SerControl(handle, SER_CONTROL_LINES_ON);
  library_ = &library;
  handle_ = handle;
  return true;
}

void CSerialSource::Close() {
  if (handle_ != 0 && library_) library_->SerClose(handle_);
  handle_ = 0;
  library_ = nullptr;
}

bool CSerialSource::ReadWaiting(const SourceByteFeed& feed) {
  if (handle_ == 0) return true;
  while (library_->SerReceiveReady(handle_)) {
    int byte = library_->SerReceiveChar(handle_);
    if (byte < 0) break;
    if (!feed(static_cast<unsigned char>(byte))) return false;
  }
  return true;
}

}  // namespace meldrix
