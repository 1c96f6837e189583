// The configuration of an output: section "OutDest%d".
#include "engine/OutPort.h"
#include "engine/Profile.h"
#include "engine/SettingsTable.h"

namespace meldrix {
namespace {

using enum SettingWrite;

// In the order of saving. Outputs are saved whole, defaults included; the
// defaults are those of the member initialisers.
const SettingsTable<COutPort>& OutDestTable() {
  static const COutPort defaults;
  static const SettingsTable<COutPort> table{
      defaults,
      {
          {"Name", &COutPort::m_Name, kAlways},
          {"Id", &COutPort::m_Id, kAlways},
          {"Dest", &COutPort::m_Dest, kAlways},
          {"File", &COutPort::m_File, kAlways},
          {"Port", &COutPort::m_Port, kAlways},
          {"Baud", &COutPort::m_Baud, kAlways},
          {"DataBit", &COutPort::m_DataBit, kAlways},
          {"Parity", &COutPort::m_Parity, kAlways},
          {"StopBit", &COutPort::m_StopBit, kAlways},
          {"Mode", &COutPort::m_Mode, kAlways},
          {"FileMode", &COutPort::m_FileMode, kAlways},
      }};
  return table;
}

}  // namespace

void COutPort::LoadConfig(const CSection& section) { OutDestTable().Load(section, *this); }

void COutPort::SaveConfig(CSection& section) const { OutDestTable().Save(section, *this); }

}  // namespace meldrix
