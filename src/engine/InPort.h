// CInPort: one message source: its configuration (section "InSource%d"), its
// message assembly and its packing state; the reading of each kind joins it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/Assembly.h"
#include "engine/ObArray.h"
#include "platform/Timer.h"
#include "sources/FileSource.h"
#include "sources/OutPortChannel.h"
#include "sources/ProtocolPort.h"
#include "sources/SerialSource.h"
#include "sources/SocketSource.h"

namespace meldrix {

class CSection;
class COutPortArray;

class CInPort {
 public:
  // Kinds of source ("Source").
  enum Kind { kNone = 0, kSerial = 1, kTextFile = 2, kDde = 3, kIsdn = 4, kSocket = 5, kMail = 6 };
  // Serial protocols ("Protocol").
  enum ProtocolKind { kPlainText = 0, kSiedle = 1, kIlperUtc = 2, kIlperLocal = 3 };

  int m_Source = kNone;
  std::string m_Name;
  std::string m_File;
  bool m_RemoveFile = false;
  long m_SocketPort = 2000;
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

  // Reads every key of an "InSource%d" section.
  void LoadConfig(const CSection& section);
  // Writes every key (sources are saved without defaults).
  void SaveConfig(CSection& section) const;

  // ---- Opening and reading (sources/InPortOpen.cpp, sources/InPortPoll.cpp) ----
  // Opens the source; on failure the reason has been shown as a message box
  // through `services.showError` (serial kind) and false is returned.
  bool Open(const OutPortServices& services);
  void Close();
  // "Name=Port COM1: 9600 baud"; with `tab` a tab instead of "=".
  std::string Describe(bool tab) const;
  bool IsOpen() const { return m_Opened; }
  // Reads what waits once the poll timer has run out: serial bytes (protocol
  // 0) or the files of the file kind. Every byte is copied raw to the output
  // named by m_OutId, then given to `characterStep`, which returns true when
  // the byte finished a message. After kMaxMessagesPerPoll finished messages
  // the rest is kept and the next poll comes at once. Returns the number of
  // messages finished.
  static constexpr int kMaxMessagesPerPoll = 100;
  int Poll(COutPortArray& outputs, const OutPortServices& services,
           const std::function<bool(char)>& characterStep);
  // The open serial port (null while closed or for other kinds); the device
  // protocols read through it.
  CSerialSource& SerialInput() { return m_SerialIn; }
  // True for an open serial source whose bytes a device protocol decodes.
  bool HasDeviceProtocol() const;
  // One protocol timer step (sources/InPortProtocol.cpp): the waiting bytes go
  // raw to the output and into the decoder, each decoded telegram becomes one
  // finished line. Returns true while the decoder is inside a telegram.
  // `handlePendingEvents` is given to the Ilper decoder.
  bool PumpDeviceProtocol(COutPortArray& outputs, const OutPortServices& services,
                          const std::function<void()>& handlePendingEvents);

  bool m_Opened = false;
  TimerValue m_PollTimer = 0;  // 0 while closed: a closed source is never read
  CSerialSource m_SerialIn;
  CFileSource m_FileIn;
  // The socket kind's listener; made at the first open and kept while the
  // source exists, so blocks not yet polled survive a close and reopen.
  std::unique_ptr<CSocketSourceListener> m_SocketIn;
  bool OpenSocket(const OutPortServices& services);
  void PollSocket(const SourceByteFeed& feed);
  // Made at the first pump and kept for the source's life.
  std::unique_ptr<ProtocolDecoder> m_Decoder;
  // ---- Message assembly and packing (engine) ----
  // The per-character step and the finished messages; the engine copies its
  // settings into it at every activation.
  CMessageAssembly m_Assembly;
  // A packed message waiting for more texts to the same receivers, and the
  // timer after which it is sent alone; all empty or 0 when nothing waits.
  std::string m_PackReceivers;
  std::string m_PackText;
  TimerValue m_PackTimer = 0;

  // One received byte of plain text; true when it completed a line.
  bool AddChar(char c) { return m_Assembly.AddChar(c); }
  bool HasPackedMessage() const { return !m_PackReceivers.empty(); }
  void ClearPackedMessage() {
    m_PackReceivers.clear();
    m_PackText.clear();
    m_PackTimer = 0;
  }
  // ---- end of message assembly and packing ----
};

class CInPortArray : public COwningArray<CInPort> {};

}  // namespace meldrix
