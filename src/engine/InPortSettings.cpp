// The configuration of a source: section "InSource%d".
#include "engine/InPort.h"
#include "engine/Profile.h"
#include "engine/SettingsTable.h"

namespace meldrix {
namespace {

using enum SettingWrite;

// In the order of saving. Sources are saved whole, defaults included (keys
// added later only when they differ); the defaults are those of the member
// initialisers.
const SettingsTable<CInPort>& InSourceTable() {
  static const CInPort defaults;
  static const SettingsTable<CInPort> table{
      defaults,
      {
          {"Name", &CInPort::m_Name, kAlways},
          {"Source", &CInPort::m_Source, kAlways},
          {"File", &CInPort::m_File, kAlways},
          {"RemoveFile", &CInPort::m_RemoveFile, kAlways},
          {"SocketPort", &CInPort::m_SocketPort, kAlways},
          {"IdleTimeout", &CInPort::m_IdleTimeout, kUnlessDefault},  // seconds; newer than the rest
          {"MailServer", &CInPort::m_MailServer, kAlways},
          {"MailUser", &CInPort::m_MailUser, kAlways},
          {"MailPort", &CInPort::m_MailPort, kAlways},
          {"MailPassword", &CInPort::m_MailPassword, kAlways},
          {"MailAuth", &CInPort::m_MailAuth, kAlways},
          {"MailSSLMode", &CInPort::m_MailSSLMode, kAlways},
          {"MailFields", &CInPort::m_MailFields, kAlways},
          {"Port", &CInPort::m_Port, kAlways},
          {"Baud", &CInPort::m_Baud, kAlways},
          {"DataBit", &CInPort::m_DataBit, kAlways},
          {"Parity", &CInPort::m_Parity, kAlways},
          {"StopBit", &CInPort::m_StopBit, kAlways},
          {"Mode", &CInPort::m_Mode, kAlways},
          {"Protocol", &CInPort::m_Protocol, kAlways},
          {"OutId", &CInPort::m_OutId, kAlways},
      }};
  return table;
}

}  // namespace

void CInPort::LoadConfig(const CSection& section) { InSourceTable().Load(section, *this); }

void CInPort::SaveConfig(CSection& section) const { InSourceTable().Save(section, *this); }

}  // namespace meldrix
