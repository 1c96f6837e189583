// Opening, writing and describing an output.
#include <cstdio>

#include "engine/OutPort.h"
#include "util/StringTable.h"

namespace meldrix {

OutPortTarget COutPort::Target() const {
  OutPortTarget target;
  target.dest = m_Dest;
  target.file = m_File;
  target.port = m_Port;
  target.baud = static_cast<std::uint32_t>(m_Baud);
  target.dataBits = m_DataBit;
  target.parity = m_Parity;
  target.stopBits = m_StopBit;
  target.mode = m_Mode;
  target.fileMode = m_FileMode != 0;
  return target;
}

bool COutPort::Open(const OutPortServices& services) { return m_Channel.Open(Target(), services); }

void COutPort::Close() { m_Channel.Close(); }

bool COutPort::Send(std::string_view bytes, const std::string* sourceFile,
                    const OutPortServices& services) {
  return m_Channel.Send(Target(), services, bytes, sourceFile);
}

bool COutPort::FileNameIsComputed() const {
  // Expression blocks and variable references ("$INFILE", "$DATE", ...).
  return m_File.find("{{") != std::string::npos || m_File.find('$') != std::string::npos;
}

std::string COutPort::Describe(bool tab) const {
  std::string text = m_Name + (tab ? "\t" : "=");
  if (m_Dest == kFileDest) {
    std::string file = m_File.size() > 30 ? m_File.substr(0, 30) + "..." : m_File;
    return text + LoadText("IDS_DESCRIBE_FILE") + " " + file;
  }
  char port[64];
  if (m_Port >= kOutFirstPrinterPort)
    std::snprintf(port, sizeof port, " LPT%d:", m_Port - 8);
  else
    std::snprintf(port, sizeof port, " COM%d: %ld baud", m_Port + 1, m_Baud);
  return text + LoadText("IDS_DESCRIBE_PORT") + port;
}

}  // namespace meldrix
