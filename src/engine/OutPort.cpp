#include "engine/OutPort.h"

#include "engine/Profile.h"

namespace meldrix {

void COutPort::LoadConfig(const CSection& section) {
  m_Id = section.GetInt("Id", 0);
  m_Dest = section.GetInt("Dest", kPortDest);
  m_Name = section.GetString("Name");
  m_File = section.GetString("File");
  m_Port = section.GetInt("Port", 9);
  m_Baud = section.GetLong("Baud", 9600);
  m_DataBit = section.GetInt("DataBit", 8);
  m_Parity = section.GetInt("Parity", 0);
  m_StopBit = section.GetInt("StopBit", 1);
  m_Mode = section.GetInt("Mode", 1);
  m_FileMode = section.GetInt("FileMode", 1);
}

void COutPort::SaveConfig(CSection& section) const {
  section.WriteString("Name", m_Name);
  section.WriteInt("Id", m_Id);
  section.WriteInt("Dest", m_Dest);
  section.WriteString("File", m_File);
  section.WriteInt("Port", m_Port);
  section.WriteLong("Baud", m_Baud);
  section.WriteInt("DataBit", m_DataBit);
  section.WriteInt("Parity", m_Parity);
  section.WriteInt("StopBit", m_StopBit);
  section.WriteInt("Mode", m_Mode);
  section.WriteInt("FileMode", m_FileMode);
}

COutPort* COutPortArray::FindById(int id) {
  if (id == 0) return nullptr;
  for (auto& port : items_)
    if (port->m_Id == id) return port.get();
  return nullptr;
}

}  // namespace meldrix
