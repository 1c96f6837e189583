#include "engine/InPort.h"

#include "engine/Profile.h"

namespace meldrix {

void CInPort::LoadConfig(const CSection& section) {
  m_Source = section.GetInt("Source", kNone);
  m_Name = section.GetString("Name");
  m_File = section.GetString("File");
  m_RemoveFile = section.GetBool("RemoveFile", false);
  m_SocketPort = section.GetLong("SocketPort", 2000);
  m_MailServer = section.GetString("MailServer");
  m_MailUser = section.GetString("MailUser");
  m_MailPort = section.GetString("MailPort", "110");
  m_MailPassword = section.GetString("MailPassword");
  m_MailAuth = section.GetString("MailAuth", "PLAIN");
  m_MailSSLMode = section.GetString("MailSSLMode", "1");
  m_MailFields = section.GetInt("MailFields", 1);
  m_Port = section.GetInt("Port", 0);
  m_Baud = section.GetLong("Baud", 9600);
  m_DataBit = section.GetInt("DataBit", 8);
  m_Parity = section.GetInt("Parity", 0);
  m_StopBit = section.GetInt("StopBit", 1);
  m_Mode = section.GetInt("Mode", 1);
  m_Protocol = section.GetInt("Protocol", kPlainText);
  m_OutId = section.GetInt("OutId", 0);
}

void CInPort::SaveConfig(CSection& section) const {
  section.WriteString("Name", m_Name);
  section.WriteInt("Source", m_Source);
  section.WriteString("File", m_File);
  section.WriteBool("RemoveFile", m_RemoveFile);
  section.WriteLong("SocketPort", m_SocketPort);
  section.WriteString("MailServer", m_MailServer);
  section.WriteString("MailUser", m_MailUser);
  section.WriteString("MailPort", m_MailPort);
  section.WriteString("MailPassword", m_MailPassword);
  section.WriteString("MailAuth", m_MailAuth);
  section.WriteString("MailSSLMode", m_MailSSLMode);
  section.WriteInt("MailFields", m_MailFields);
  section.WriteInt("Port", m_Port);
  section.WriteLong("Baud", m_Baud);
  section.WriteInt("DataBit", m_DataBit);
  section.WriteInt("Parity", m_Parity);
  section.WriteInt("StopBit", m_StopBit);
  section.WriteInt("Mode", m_Mode);
  section.WriteInt("Protocol", m_Protocol);
  section.WriteInt("OutId", m_OutId);
}

}  // namespace meldrix
