// CInPort: one message source: its settings (section "InSource%d"), the
// reader of its kind, its message assembly and its packing state.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/Assembly.h"
#include "engine/MessagePacker.h"
#include "engine/ObArray.h"
#include "platform/Timer.h"
#include "sources/InSourceSettings.h"
#include "sources/MessageSource.h"

namespace meldrix {

class CSection;
class COutPortArray;

class CInPort : public InSourceSettings {
 public:
  CInPort() = default;
  // The reader refers to the settings of this object.
  CInPort(const CInPort&) = delete;
  CInPort& operator=(const CInPort&) = delete;

  // Reads every key of an "InSource%d" section.
  void LoadConfig(const CSection& section);
  // Writes every key (sources are saved without defaults).
  void SaveConfig(CSection& section) const;

  // ---- Opening and reading (engine/InPortReading.cpp) ----
  // Opens the source with the reader of its kind (made anew when the kind
  // changed); on failure the reason has been shown through
  // `services.showError` where the kind has one, and false is returned.
  bool Open(const OutPortServices& services);
  void Close();
  // "Name=Port COM1: 9600 baud"; with `tab` a tab instead of "=".
  std::string Describe(bool tab) const;
  bool IsOpen() const { return m_Opened; }
  // Reads what waits once the poll timer has run out. Every byte is copied
  // raw to the output named by m_OutId, then given to `characterStep`, which
  // returns true when the byte finished a message. After kMaxMessagesPerPoll
  // finished messages the rest is kept and the next poll comes at once.
  // Returns the number of messages finished.
  static constexpr int kMaxMessagesPerPoll = 100;
  int Poll(COutPortArray& outputs, const OutPortServices& services,
           const std::function<bool(char)>& characterStep);
  // True when the next Poll would read: the poll time has come (at once
  // after a poll that left input waiting).
  bool PollDue() const;
  // True for an open source whose bytes a device protocol decodes.
  bool HasDeviceProtocol() const;
  // One protocol timer step: the waiting bytes go raw to the output and into
  // the decoder, each decoded telegram becomes one finished line. Returns
  // true while the decoder is inside a telegram. `handlePendingEvents` is
  // given to the Ilper decoder.
  bool PumpDeviceProtocol(COutPortArray& outputs, const OutPortServices& services,
                          const std::function<void()>& handlePendingEvents);

  // ---- Message assembly and packing ----
  // The per-character step and the finished messages; the engine copies its
  // settings into it at every activation.
  CMessageAssembly m_Assembly;
  // Texts to the same receivers waiting to be sent together.
  CMessagePacker m_Packer;

  // One received byte of plain text; true when it completed a line.
  bool AddChar(char c) { return m_Assembly.AddChar(c); }

 private:
  bool m_Opened = false;
  TimerValue m_PollTimer = 0;  // 0 while closed: a closed source is never read
  // Made by the factory at the first open and kept while the kind stays, so
  // what a reader keeps (socket blocks not yet polled, the bytes of a file
  // beyond the per-poll limit, the decoder's state) survives a close and
  // reopen.
  std::unique_ptr<IMessageSource> m_Reader;
  int m_ReaderKind = kNone;
};

class CInPortArray : public COwningArray<CInPort> {};

}  // namespace meldrix
