#include "sources/OutPortChannel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SerialParams.h"
#include "platform/SerialPortMap.h"
#include "sources/SerialSourceErrors.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

void ShowError(const OutPortServices& services, const std::string& text) {
  if (services.showError) services.showError(text);
}

ISerialLibrary& SerialOf(const OutPortServices& services) {
  return services.serial ? *services.serial : SerialLibrary();
}

}  // namespace

std::uint8_t ParityLetter(int parity) {
  static const char kLetters[] = "NEOMS";
  return parity >= 0 && parity <= 4 ? static_cast<std::uint8_t>(kLetters[parity]) : 'N';
}

COutPortChannel::~COutPortChannel() { Close(); }

bool COutPortChannel::IsOpen() const {
  return serial_ != 0 || fileFd_ >= 0 || (printer_ && printer_->IsOpen());
}

void COutPortChannel::Close() {
  if (serial_ != 0 && serialLibrary_) serialLibrary_->SerClose(serial_);
  serial_ = 0;
  serialLibrary_ = nullptr;
  if (fileFd_ >= 0) ::close(fileFd_);
  fileFd_ = -1;
  if (printer_) printer_->Close();
  printer_.reset();
}

bool COutPortChannel::Open(const OutPortTarget& target, const OutPortServices& services) {
  if (target.dest == kOutDestFile) {
    if (!hasResolvedName_) {
      resolvedName_ = target.file;
      hasResolvedName_ = true;
    }
    return OpenFile(services);
  }
  if (target.port >= kOutFirstPrinterPort && target.port <= kOutLastPrinterPort)
    return OpenPrinter(target, services);
  if (target.port >= 0 && target.port < kOutFirstPrinterPort) return OpenSerial(target, services);
  return false;  // an index above LPT3 fails without a message
}

bool COutPortChannel::OpenFile(const OutPortServices& services) {
  if (fileFd_ >= 0) return true;
  // Appended: every message goes to the end, also when another program
  // writes to the same file.
  int fd = resolvedName_.empty()
               ? -1
               : ::open(resolvedName_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY,
                        0644);
  if (fd < 0) {
    ShowError(services, FillText(LoadText("IDS_OUTPUT_FILE_OPEN_FAILED"), {resolvedName_}));
    return false;
  }
  fileFd_ = fd;
  return true;
}

bool COutPortChannel::OpenPrinter(const OutPortTarget& target, const OutPortServices& services) {
  if (printer_ && printer_->IsOpen()) return true;
  std::string name = "LPT" + std::to_string(target.port - kOutFirstPrinterPort + 1);
  std::string device = MappedDevicePath(
      name, "/dev/lp" + std::to_string(target.port - kOutFirstPrinterPort), services.config);
  printer_ = services.printers ? services.printers() : std::make_unique<CLinuxPrinterPort>();
  std::string reason;
  if (!printer_ || !printer_->Open(device, &reason)) {
    printer_.reset();
    ShowError(services,
              FillText(LoadText("IDS_OUTPUT_PORT_OPEN_FAILED"), {name + ":"}) +
                  (reason.empty() ? "" : device + ": " + reason));
    return false;
  }
  return true;
}

bool COutPortChannel::OpenSerial(const OutPortTarget& target, const OutPortServices& services) {
  if (serial_ != 0) return true;
  SerPortParams params;
  params.port = static_cast<std::uint16_t>(target.port + 1);
  params.baud = target.baud;
  params.dataBits = static_cast<std::uint8_t>(target.dataBits);
  params.parity = ParityLetter(target.parity);
  params.stopBits = static_cast<std::uint8_t>(target.stopBits);
  params.handshake = static_cast<std::uint8_t>(target.mode);
  params.receiveBufferSize = kOutSerialBufferSize;
  params.sendBufferSize = kOutSerialBufferSize;
  SerParamBlock block = params.ToBlock();
  ISerialLibrary& library = SerialOf(services);
  std::uint32_t error = 0;
  SerHandle handle = library.SerOpen(block.data(), &error);
  if (handle == 0) {
    ShowError(services, FillText(LoadText("IDS_OUTPUT_PORT_OPEN_FAILED"),
                                 {"COM" + std::to_string(target.port + 1) + ":"}) +
                            SerialErrorReason(error));
    return false;
  }
  library.SerControl(handle, SER_CONTROL_LINES_ON);
  serial_ = handle;
  serialLibrary_ = &library;
  return true;
}

bool COutPortChannel::Send(const OutPortTarget& target, const OutPortServices& services,
                           std::string_view bytes, const std::string* sourceFile) {
  if (target.dest == kOutDestFile) {
    std::string name = target.file;
    if (sourceFile) {
      std::string inFile = services.expand ? services.expand(*sourceFile) : *sourceFile;
      if (services.setVariable) services.setVariable("$INFILE", inFile);
      if (services.expand) name = services.expand(name);
    }
    if (hasResolvedName_ && name != resolvedName_) Close();  // the next file is another one
    resolvedName_ = name;
    hasResolvedName_ = true;
  }
  if (!IsOpen() && !Open(target, services)) return false;
  if (serial_ != 0) return SendSerial(bytes, services);
  if (fileFd_ >= 0) return SendFile(target, bytes);
  if (printer_) return SendPrinter(target, bytes);
  return false;
}

bool COutPortChannel::SendSerial(std::string_view bytes, const OutPortServices&) {
  // A message is sent whole or not at all; nothing waits for the bytes to leave.
  if (serialLibrary_->SerState(serial_) & SER_STATE_CANNOT_SEND) return false;
  if (serialLibrary_->SerSendReady(serial_) < bytes.size()) return false;
  return serialLibrary_->SerSendBuffer(serial_, bytes.data(),
                                       static_cast<std::uint32_t>(bytes.size())) == bytes.size();
}

bool COutPortChannel::SendFile(const OutPortTarget& target, std::string_view bytes) {
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fileFd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;  // a full disk is a failed send, not a silent loss
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (target.fileMode) Close();
  return ok;
}

bool COutPortChannel::SendPrinter(const OutPortTarget& target, std::string_view bytes) {
  if (printer_->TakeErrors() & kPrinterErrors) return false;
  if (auto status = printer_->QueryStatus(); status && (*status & kPrinterRefusing)) return false;
  bool ok = printer_->Write(bytes.data(), bytes.size()) == bytes.size();
  ok = printer_->Flush() && ok;
  ok = !(printer_->TakeErrors() & kPrinterErrors) && ok;
  ok = printer_->OutputQueueEmpty() && ok;
  if (ok && target.fileMode) Close();
  return ok;
}

}  // namespace meldrix
