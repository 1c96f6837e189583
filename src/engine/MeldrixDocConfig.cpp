// Loading and saving the configuration model of CMeldrixDoc.
#include "engine/MeldrixDoc.h"
#include "platform/AtomicFile.h"

namespace meldrix {
namespace {

constexpr const char* kSettings = "Settings";
constexpr const char* kMailServer = "MailServer";
constexpr int kDefaultSmtpPort = 26;
constexpr const char* kInSource = "InSource";
constexpr const char* kOutDest = "OutDest";
constexpr const char* kMessage = "Message";
constexpr const char* kDefaultEndOfMessage = "\\n";

}  // namespace

CMeldrixDoc::CMeldrixDoc(ConfigPaths paths)
    : CStreamDoc(2400, 80), m_Paths(std::move(paths)), m_Profile(m_Paths.configFile) {}

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

void CMeldrixDoc::LoadSettings() {
  const CSection s(m_Profile, kSettings);
  m_AutoActivate = s.GetBool("AutoActivate", false);
  m_UsedCharset = s.GetInt("UsedCharset", 0);
  m_MoreLineMessages = s.GetInt("MoreLineMessages", 0);
  m_FilterEscapes = s.GetInt("FilterEscapes", 0);
  m_RemoveLeadingSpaces = s.GetInt("RemoveLeadingSpaces", 0);
  m_MultilineTimeout = s.GetLong("MultilineTimeout", 1000);
  m_ShowInMessages = s.GetInt("ShowInMessages", 1);
  m_ShowSentMessages = s.GetInt("ShowSentMessages", 1);
  m_UseLineTimeout = s.GetInt("UseLineTimeout", 0);
  m_LineTimeout = s.GetLong("LineTimeout", 1000);
  m_EndOfMessage = s.GetString("EndOfMessage", kDefaultEndOfMessage);
  m_CtrlReplaceChar = s.GetChar("CtrlReplaceChar", '~');
  m_MaxMessageLength = s.GetLong("MaxMessageLength", 250);
  m_MaxPackedLength = s.GetLong("MaxPackedLength", 160);
  m_ReplaceControlChars = s.GetInt("ReplaceControlChars", 0);
}

void CMeldrixDoc::LoadMailSettings() {
  const CSection s(m_Profile, kMailServer);
  m_UseSubject = s.GetInt("UseSubject", 1);
  m_UseBody = s.GetInt("UseBody", 1);
  m_PackBody = s.GetInt("PackBody", 0);
  m_IncMailFrom = s.GetInt("IncMailFrom", 0);
  m_IncMailTo = s.GetInt("IncMailTo", 0);
  m_SmtpPort = s.GetInt("SmtpPort", kDefaultSmtpPort);
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
    CSection s(m_Profile, kSettings);
    s.WriteBool("AutoActivate", m_AutoActivate);
    s.WriteInt("UsedCharset", m_UsedCharset);
    s.WriteInt("MoreLineMessages", m_MoreLineMessages);
    s.WriteLong("MultilineTimeout", m_MultilineTimeout);
    s.WriteInt("FilterEscapes", m_FilterEscapes);
    s.WriteInt("RemoveLeadingSpaces", m_RemoveLeadingSpaces);
    s.WriteInt("ShowInMessages", m_ShowInMessages);
    s.WriteInt("ShowSentMessages", m_ShowSentMessages);
    s.WriteInt("UseLineTimeout", m_UseLineTimeout);
    s.WriteLong("LineTimeout", m_LineTimeout);
    s.WriteString("EndOfMessage", m_EndOfMessage, kDefaultEndOfMessage);
    s.WriteLong("MaxMessageLength", m_MaxMessageLength);
    s.WriteLong("MaxPackedLength", m_MaxPackedLength);
    s.WriteInt("ReplaceControlChars", m_ReplaceControlChars);
  });
  return FinishSave(ok, before);
}

bool CMeldrixDoc::SaveMailSettings() {
  const auto before = FileModifiedTimeNs(m_Paths.configFile);
  const bool ok = m_Profile.Update([this] {
    CSection s(m_Profile, kMailServer);
    s.WriteInt("UseSubject", m_UseSubject);
    s.WriteInt("UseBody", m_UseBody);
    s.WriteInt("PackBody", m_PackBody);
    s.WriteInt("IncMailFrom", m_IncMailFrom);
    s.WriteInt("IncMailTo", m_IncMailTo);
    s.WriteInt("SmtpPort", m_SmtpPort, kDefaultSmtpPort);
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
