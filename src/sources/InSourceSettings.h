// The settings of one message source (section "InSource%d"). The engine's
// source derives from it; the readers of each kind see the settings through
// it, so a change made in the setup reaches them without a copy.
#pragma once

#include <string>

namespace meldrix {

struct InSourceSettings {
  // Kinds of source ("Source").
  enum Kind { kNone = 0, kSerial = 1, kTextFile = 2, kDde = 3, kIsdn = 4, kSocket = 5, kMail = 6 };
  // Serial protocols ("Protocol").
  enum ProtocolKind { kPlainText = 0, kSiedle = 1, kIlperUtc = 2, kIlperLocal = 3 };

  int m_Source = kNone;
  std::string m_Name;
  std::string m_File;
  bool m_RemoveFile = false;
  long m_SocketPort = 2000;
  // "IdleTimeout": seconds a socket source connection may stay silent before
  // it is closed; 0 = no limit.
  int m_IdleTimeout = 600;
  std::string m_MailServer;
  std::string m_MailUser;
  std::string m_MailPort = "110";
  std::string m_MailPassword;
  std::string m_MailAuth = "PLAIN";
  std::string m_MailSSLMode = "1";
  int m_MailFields = 1;
  int m_Port = 0;  // n means COM(n+1)
  long m_Baud = 9600;
  int m_DataBit = 8;
  int m_Parity = 0;
  int m_StopBit = 1;
  int m_Mode = 1;  // handshake: 0 none, 1 hardware, 2 XON/XOFF
  int m_Protocol = kPlainText;
  int m_OutId = 0;  // "Id" of the output that gets a raw copy; 0 for none

  static bool IsValidKind(int source) { return source >= kSerial && source <= kMail; }
};

}  // namespace meldrix
