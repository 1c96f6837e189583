// CMeldrixDoc: the engine document. It owns the configuration model (general
// settings, sources, outputs, messages) and keeps it in step with the
// configuration file: loading, the piecewise saves of the setup, and the
// check for changes made from outside.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/ConfigPaths.h"
#include "engine/InPort.h"
#include "engine/Message.h"
#include "engine/OutPort.h"
#include "engine/Profile.h"

namespace meldrix {

class CMeldrixDoc {
 public:
  // Section "Settings"
  bool m_AutoActivate = false;
  int m_UsedCharset = 0;  // 0 Windows ANSI, 1 IBM-PC, 2 DIN 66003
  int m_MoreLineMessages = 0;
  int m_FilterEscapes = 0;
  int m_RemoveLeadingSpaces = 0;
  long m_MultilineTimeout = 1000;  // ms
  int m_ShowInMessages = 1;
  int m_ShowSentMessages = 1;
  int m_UseLineTimeout = 0;
  long m_LineTimeout = 1000;  // ms
  std::string m_EndOfMessage = "\\n";  // escape notation: backslash and n
  char m_CtrlReplaceChar = '~';  // read only, never written
  long m_MaxMessageLength = 250;
  long m_MaxPackedLength = 160;
  int m_ReplaceControlChars = 0;

  // Section "MailServer"
  int m_UseSubject = 1;
  int m_UseBody = 1;
  int m_PackBody = 0;
  int m_IncMailFrom = 0;
  int m_IncMailTo = 0;

  CMessageArray m_Messages;  // in matching order
  CInPortArray m_InPorts;
  COutPortArray m_OutPorts;

  explicit CMeldrixDoc(ConfigPaths paths);
  CMeldrixDoc(const CMeldrixDoc&) = delete;
  CMeldrixDoc& operator=(const CMeldrixDoc&) = delete;

  const ConfigPaths& GetPaths() const { return m_Paths; }
  CProfile& GetProfile() { return m_Profile; }

  // Reads the whole configuration (general settings, mail settings, messages,
  // sources, outputs) from one state of the file and remembers its time. A
  // missing file or key yields the defaults.
  void LoadConfiguration();
  void LoadSettings();
  void LoadMailSettings();
  void LoadMessages();
  void LoadInPorts();
  void LoadOutPorts();

  // The piecewise saves of the setup. Each replaces the file in one atomic
  // step and then takes the file's time again, so our own write is not taken
  // for an outside change. False when the file could not be written; the file
  // is then unchanged.
  bool SaveSettings();
  bool SaveMailSettings();
  bool SaveInPorts();
  bool SaveOutPorts();
  bool SaveMessages();
  // Writes "AutoActivate" alone (activation failures switch it off).
  bool SaveAutoActivate();

  // Remembers the configuration file's current last-write time; call after
  // every write to the file made by the program itself.
  void RememberConfigTime();
  std::optional<std::int64_t> GetRememberedConfigTime() const { return m_ConfigFileTime; }

  // The supervision check: applies the master-copy rule, then reports whether
  // the file's last-write time differs from the remembered one, in which case
  // the caller reloads (deactivating around it when active). A file that has
  // vanished is not a change: the loaded configuration stays in use until a
  // file is there again.
  bool CheckConfigChanged();

 private:
  bool FinishSave(bool ok, std::optional<std::int64_t> timeBefore);

  ConfigPaths m_Paths;
  CProfile m_Profile;
  std::optional<std::int64_t> m_ConfigFileTime;
};

}  // namespace meldrix
