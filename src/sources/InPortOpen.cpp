// Opening, closing and describing a message source.
#include <cstdio>
#include <cstring>

#include "engine/InPort.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

constexpr std::uint32_t kFirstPollMs = 100;

// The first 30 characters of a file setting, with "..." when it is longer.
std::string ShortFileName(const std::string& file) {
  return file.size() > 30 ? file.substr(0, 30) + "..." : file;
}

}  // namespace

bool CInPort::Open(const OutPortServices& services) {
  Close();
  switch (m_Source) {
    case kSerial: {
      SerialSourceSettings settings;
      settings.port = m_Port;
      settings.baud = static_cast<std::uint32_t>(m_Baud);
      settings.dataBits = m_DataBit;
      settings.parity = m_Parity;
      settings.stopBits = m_StopBit;
      settings.mode = m_Mode;
      std::string error;
      ISerialLibrary& library = services.serial ? *services.serial : SerialLibrary();
      if (!m_SerialIn.Open(settings, library, &error)) {
        if (services.showError) services.showError(error);
        return false;
      }
      break;
    }
    case kTextFile:
      if (m_File.empty()) return false;
      break;
    case kSocket:
      if (!OpenSocket(services)) return false;
      break;
    default:
      // The e-mail kind are opened by their own readers once they
      // exist; until then, as every other kind, they open and deliver nothing.
      break;
  }
  m_Opened = true;
  m_PollTimer = TimerStart(kFirstPollMs);
  return true;
}

void CInPort::Close() {
  m_SerialIn.Close();
  if (m_SocketIn) m_SocketIn->Stop();
  m_Opened = false;
  m_PollTimer = 0;
}

bool CInPort::OpenSocket(const OutPortServices& services) {
  char text[160];
  // Port 0 would listen on a random port nobody knows; refuse it with the rest.
  if (m_SocketPort <= 0 || m_SocketPort > 65535) {
    std::snprintf(text, sizeof text, "Socket source %s: invalid port %ld", m_Name.c_str(), m_SocketPort);
    if (services.showError) services.showError(text);
    return false;
  }
  if (!m_SocketIn) m_SocketIn = std::make_unique<CSocketSourceListener>();
  int error = 0;
  if (!m_SocketIn->Start(static_cast<std::uint16_t>(m_SocketPort), error)) {
    std::snprintf(text, sizeof text, "Socket source %s: cannot listen on port %ld (%s)", m_Name.c_str(),
                  m_SocketPort, std::strerror(error));
    if (services.showError) services.showError(text);
    return false;
  }
  return true;
}

std::string CInPort::Describe(bool tab) const {
  std::string text = m_Name + (tab ? "\t" : "=");
  char number[64];
  switch (m_Source) {
    case kSerial:
      std::snprintf(number, sizeof number, " COM%d: %ld baud", m_Port + 1, m_Baud);
      return text + LoadText("IDS_DESCRIBE_PORT") + number;
    case kTextFile:
      return text + LoadText("IDS_DESCRIBE_FILE") + " " + ShortFileName(m_File);
    case kSocket:
      std::snprintf(number, sizeof number, " %u", static_cast<unsigned>(m_SocketPort));
      return text + LoadText("IDS_DESCRIBE_SOCKET") + number;
    case kMail:
      return text + LoadText("IDS_DESCRIBE_EMAIL") + " " + m_MailUser;
    default:
      return text;
  }
}

}  // namespace meldrix
