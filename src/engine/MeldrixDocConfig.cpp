// Loading and saving the configuration model of CMeldrixDoc.
#include "engine/MeldrixDoc.h"
#include "engine/SettingsTable.h"
#include "platform/AtomicFile.h"
#include "platform/ConfigValueReader.h"
#include "platform/PrivateProfile.h"
#include "sources/SerialSourceErrors.h"
#include "util/LogLines.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

using enum SettingWrite;

constexpr const char* kSettings = "Settings";
constexpr const char* kMailServer = "MailServer";
constexpr const char* kInSource = "InSource";
constexpr const char* kOutDest = "OutDest";
constexpr const char* kMessage = "Message";

// Section "Settings", in the order the general setup saves it.
const SettingsTable<CMeldrixDoc>& GeneralSettings() {
  static const SettingsTable<CMeldrixDoc> table{
      {"AutoActivate", &CMeldrixDoc::m_AutoActivate, false, kAlways},
      {"UsedCharset", &CMeldrixDoc::m_UsedCharset, 0, kAlways},
      {"MoreLineMessages", &CMeldrixDoc::m_MoreLineMessages, 0, kAlways},
      {"MultilineTimeout", &CMeldrixDoc::m_MultilineTimeout, 1000, kAlways},
      {"FilterEscapes", &CMeldrixDoc::m_FilterEscapes, 0, kAlways},
      {"RemoveLeadingSpaces", &CMeldrixDoc::m_RemoveLeadingSpaces, 0, kAlways},
      {"ShowInMessages", &CMeldrixDoc::m_ShowInMessages, 1, kAlways},
      {"ShowSentMessages", &CMeldrixDoc::m_ShowSentMessages, 1, kAlways},
      {"UseLineTimeout", &CMeldrixDoc::m_UseLineTimeout, 0, kAlways},
      {"LineTimeout", &CMeldrixDoc::m_LineTimeout, 1000, kAlways},
      {"EndOfMessage", &CMeldrixDoc::m_EndOfMessage, "\\n", kUnlessDefault},
      {"CtrlReplaceChar", &CMeldrixDoc::m_CtrlReplaceChar, '~', kReadOnly},
      {"MaxMessageLength", &CMeldrixDoc::m_MaxMessageLength, 250, kAlways},
      {"MaxPackedLength", &CMeldrixDoc::m_MaxPackedLength, 160, kAlways},
      {"ReplaceControlChars", &CMeldrixDoc::m_ReplaceControlChars, 0, kAlways},
  };
  return table;
}

// Section "MailServer".
const SettingsTable<CMeldrixDoc>& MailSettings() {
  static const SettingsTable<CMeldrixDoc> table{
      {"UseSubject", &CMeldrixDoc::m_UseSubject, 1, kAlways},
      {"UseBody", &CMeldrixDoc::m_UseBody, 1, kAlways},
      {"PackBody", &CMeldrixDoc::m_PackBody, 0, kAlways},
      {"IncMailFrom", &CMeldrixDoc::m_IncMailFrom, 0, kAlways},
      {"IncMailTo", &CMeldrixDoc::m_IncMailTo, 0, kAlways},
      {"SmtpPort", &CMeldrixDoc::m_SmtpPort, 26, kUnlessDefault},
  };
  return table;
}

}  // namespace

CMeldrixDoc::CMeldrixDoc(ConfigPaths paths)
    : CStreamDoc(2400, 80), m_Paths(std::move(paths)), m_Profile(m_Paths.configFile) {
  GeneralSettings().SetDefaults(*this);
  MailSettings().SetDefaults(*this);
  m_Opc->SetConfiguration(ConfigFileValues(m_Paths.configFile));
}

void CMeldrixDoc::LoadConfiguration() {
  OnConfigurationLoading();
  // The time is taken before reading: should the file change while it is
  // read, the next check sees a difference and reads it again.
  const auto time = FileModifiedTimeNs(m_Paths.configFile);
  m_Profile.Read([this] {
    LoadSettings();
    LoadMailSettings();
    LoadMessages();
    LoadInPorts();
    LoadOutPorts();
  });
  m_ConfigFileTime = time;
}

void CMeldrixDoc::LoadSettings() { GeneralSettings().Load(CSection(m_Profile, kSettings), *this); }

void CMeldrixDoc::LoadMailSettings() {
  MailSettings().Load(CSection(m_Profile, kMailServer), *this);
}

void CMeldrixDoc::LoadMessages() {
  m_Messages.RemoveAll();
  for (int n = 1;; ++n) {
    const CSection section(m_Profile, kMessage, n);
    if (CMessage::IsEndOfList(section)) break;
    m_Messages.AddNew().Load(section);
  }
}

void CMeldrixDoc::LoadInPorts() {
  m_InPorts.RemoveAll();
  for (int n = 1;; ++n) {
    const CSection section(m_Profile, kInSource, n);
    auto port = std::make_unique<CInPort>();
    port->LoadConfig(section);
    if (port->m_Source == CInPort::kNone) break;
    // An unknown kind is skipped; the sources after it are still read.
    if (CInPort::IsValidKind(port->m_Source)) m_InPorts.Add(std::move(port));
  }
}

void CMeldrixDoc::LoadOutPorts() {
  m_OutPorts.RemoveAll();
  for (int n = 1;; ++n) {
    const CSection section(m_Profile, kOutDest, n);
    auto port = std::make_unique<COutPort>();
    port->LoadConfig(section);
    if (port->m_Id == 0) break;
    m_OutPorts.Add(std::move(port));
  }
}

bool CMeldrixDoc::SaveSettings() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = m_Profile.Update([this] {
    CSection section(m_Profile, kSettings);
    GeneralSettings().Save(section, *this);
  });
  return FinishSave(ok, before);
}

bool CMeldrixDoc::SaveMailSettings() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = m_Profile.Update([this] {
    CSection section(m_Profile, kMailServer);
    MailSettings().Save(section, *this);
  });
  return FinishSave(ok, before);
}

bool CMeldrixDoc::SaveAutoActivate() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = CSection(m_Profile, kSettings).WriteBool("AutoActivate", m_AutoActivate);
  return FinishSave(ok, before);
}

bool CMeldrixDoc::SaveInPorts() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = m_Profile.Update([this] {
    for (int n = 1;; ++n) {
      CSection old(m_Profile, kInSource, n);
      if (old.GetInt("Source", 0) == 0) break;
      old.Delete();
    }
    int n = 0;
    for (const auto& port : m_InPorts) {
      CSection section(m_Profile, kInSource, ++n);
      port->SaveConfig(section);
    }
  });
  return FinishSave(ok, before);
}

bool CMeldrixDoc::SaveOutPorts() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = m_Profile.Update([this] {
    for (int n = 1;; ++n) {
      CSection old(m_Profile, kOutDest, n);
      if (old.GetInt("Id", 0) == 0) break;
      old.Delete();
    }
    int n = 0;
    for (const auto& port : m_OutPorts) {
      CSection section(m_Profile, kOutDest, ++n);
      port->SaveConfig(section);
    }
  });
  return FinishSave(ok, before);
}

bool CMeldrixDoc::SaveMessages() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = m_Profile.Update([this] {
    int n = 0;
    for (const auto& message : m_Messages) {
      CSection section(m_Profile, kMessage, ++n);
      // A message with neither name nor filter would end the list when the
      // file is read again, and every message after it would be lost; it is
      // named after its number instead.
      if (message->m_Name.empty() && message->m_LeftTrigger.empty())
        message->m_Name = "Message " + std::to_string(n);
      message->Save(section);
    }
    // Remove the sections left over from a longer list.
    for (int stale = n + 1;; ++stale) {
      CSection old(m_Profile, kMessage, stale);
      if (CMessage::IsEndOfList(old)) break;
      old.Delete();
    }
  });
  return FinishSave(ok, before);
}

bool CMeldrixDoc::FinishSave(bool ok, std::optional<std::int64_t> timeBefore) {
  // Only a write of our own moves the remembered time; when the save wrote
  // nothing (or failed) an earlier outside change must still be noticed.
  const auto after = FileModifiedTimeNs(m_Paths.configFile);
  if (ok && after != timeBefore) m_ConfigFileTime = after;
  // A setting that silently stays unwritten fails again at every start.
  if (!ok) WriteRedLine(*this, FillText(LoadText("IDS_CONFIG_WRITE_FAILED"), {PrivateProfile::LastError()}));
  return ok;
}

void CMeldrixDoc::RememberConfigTime() {
  m_ConfigFileTime = FileModifiedTimeNs(m_Paths.configFile);
}

bool CMeldrixDoc::CheckConfigChanged() {
  ApplyMasterCopy(m_Paths);
  const auto time = FileModifiedTimeNs(m_Paths.configFile);
  if (!time) return false;
  return time != m_ConfigFileTime;
}

}  // namespace meldrix
