// COutPort: one output (COM1 to COM9, LPT1 to LPT3 or a file). This header
// holds its configuration (section "OutDest%d"); opening and writing join it
// later.
#pragma once

#include <string>

#include "engine/ObArray.h"

namespace meldrix {

class CSection;

class COutPort {
 public:
  enum DestKind { kPortDest = 1, kFileDest = 2 };

  int m_Id = 0;
  int m_Dest = kPortDest;
  std::string m_Name;
  std::string m_File;
  int m_Port = 9;  // 9, 10, 11 mean LPT1..LPT3; a smaller n means COM(n+1)
  long m_Baud = 9600;
  int m_DataBit = 8;
  int m_Parity = 0;
  int m_StopBit = 1;
  int m_Mode = 1;
  int m_FileMode = 1;  // non-zero: close the output after every message

  void LoadConfig(const CSection& section);
  void SaveConfig(CSection& section) const;
};

class COutPortArray : public COwningArray<COutPort> {
 public:
  // The output with this "Id", or nullptr (Id 0 names none).
  COutPort* FindById(int id);
};

}  // namespace meldrix
