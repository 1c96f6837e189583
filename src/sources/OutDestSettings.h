// The settings of one output (section "OutDest%d"). The engine's output
// derives from it; its channel sees the settings through it.
#pragma once

#include <string>

namespace meldrix {

inline constexpr int kOutFirstPrinterPort = 9;  // 9..11 = LPT1..LPT3
inline constexpr int kOutLastPrinterPort = 11;

struct OutDestSettings {
  enum DestKind { kPortDest = 1, kFileDest = 2 };

  int m_Id = 0;
  int m_Dest = kPortDest;
  std::string m_Name;
  std::string m_File;
  int m_Port = 9;  // 9, 10, 11 mean LPT1..LPT3; a smaller n means COM(n+1)
  long m_Baud = 9600;
  int m_DataBit = 8;
  int m_Parity = 0;  // 0 none, 1 even, 2 odd, 3 mark, 4 space
  int m_StopBit = 1;
  int m_Mode = 1;  // handshake: 0 none, 1 hardware, 2 XON/XOFF
  int m_FileMode = 1;  // non-zero: close the output after every message
};

}  // namespace meldrix
