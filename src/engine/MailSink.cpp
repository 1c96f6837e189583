// The document's SMTP sink: received mails become lines of the internal
// source "Mail" and the expression variables $MAILFROM, $MAILTO, $SUBJECT.
#include <utility>

#include "engine/MeldrixDoc.h"
#include "engine/Process.h"

namespace meldrix {

bool CMeldrixDoc::MailBridge::QueueMailLines(std::vector<std::string> texts) {
  return m_Doc.m_MailLines.AppendAll(std::move(texts));
}

void CMeldrixDoc::MailBridge::SetVariable(const std::string& name, const std::string& value) {
  m_Doc.m_Variables.SetVariable(name, value);
}

bool CMeldrixDoc::StartMailSink() {
  if (!m_SmtpSink) {
    m_SmtpSink = std::make_unique<CSmtpSink>(m_MailBridge, m_MailBridge, [this](const std::string& line) {
      std::lock_guard lock(m_MailLogMutex);
      m_MailLog.push_back(line);
    });
  }
  MailServerSettings settings;
  settings.UseSubject = m_UseSubject != 0;
  settings.UseBody = m_UseBody != 0;
  settings.PackBody = m_PackBody != 0;
  settings.IncMailFrom = m_IncMailFrom != 0;
  settings.IncMailTo = m_IncMailTo != 0;
  settings.SmtpPort = m_SmtpPort;
  const bool started = m_SmtpSink->Start(settings);
  ShowMailSinkLog();
  return started;
}

void CMeldrixDoc::StopMailSink() {
  if (m_SmtpSink) m_SmtpSink->Stop();
  ShowMailSinkLog();
}

void CMeldrixDoc::ShowMailSinkLog() {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(m_MailLogMutex);
    lines.swap(m_MailLog);
  }
  for (const std::string& line : lines) ShowLine(kColourSent, line);
}

}  // namespace meldrix
