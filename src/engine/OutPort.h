// COutPort: one output (COM1 to COM9, LPT1 to LPT3 or a file). This header
// holds its configuration (section "OutDest%d"); opening and writing join it
// later.
#pragma once

#include <string>

#include "engine/ObArray.h"
#include "sources/OutPortChannel.h"

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

  // ---- Opening and writing (sources/OutPortOpen.cpp) ----
  bool Open(const OutPortServices& services);
  void Close();
  bool IsOpen() const { return m_Channel.IsOpen(); }
  // Writes one message; `sourceFile` is the file setting of the delivering
  // source (for $INFILE), or null.
  bool Send(std::string_view bytes, const std::string* sourceFile, const OutPortServices& services);
  // "Name=File /var/out.txt" or "Name=Port LPT1:" / "Name=Port COM2: 9600 baud".
  std::string Describe(bool tab) const;
  // Whether the file setting holds an expression or a variable reference, so
  // the file name is known only when a message comes.
  bool FileNameIsComputed() const;
  OutPortTarget Target() const;

  COutPortChannel m_Channel;
};

class COutPortArray : public COwningArray<COutPort> {
 public:
  // The output with this "Id", or nullptr (Id 0 names none).
  COutPort* FindById(int id);
};

}  // namespace meldrix
