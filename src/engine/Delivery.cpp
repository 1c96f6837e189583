// The delivery step: finished messages of the mail-line queue and of every
// source go to Process, oldest first, and are counted.
#include <algorithm>

#include "engine/Charset.h"
#include "engine/MeldrixDoc.h"
#include "util/StringTable.h"
#include "engine/Process.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

std::uint32_t ClampMs(long ms) {
  return static_cast<std::uint32_t>(std::clamp<long long>(ms, 0, kTimerMaxMs));
}

void TrimLeadingWhiteSpace(std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && IsWhiteSpace(text[start])) ++start;
  text.erase(0, start);
}

}  // namespace

AssemblySettings CMeldrixDoc::GetAssemblySettings() const {
  AssemblySettings settings;
  settings.endOfMessage = PrepareEndOfMessage(m_EndOfMessage);
  settings.ctrlReplaceChar = m_CtrlReplaceChar;
  settings.moreLineMessages = m_MoreLineMessages != 0;
  settings.filterEscapes = m_FilterEscapes != 0;
  settings.replaceControlChars = m_ReplaceControlChars != 0;
  settings.multilineTimeoutMs = ClampMs(m_MultilineTimeout);
  settings.lineTimeoutMs = m_UseLineTimeout != 0 ? ClampMs(m_LineTimeout) : 0;
  settings.maxMessageLength = m_MaxMessageLength;
  return settings;
}

void CMeldrixDoc::ConfigureAssembly() {
  const AssemblySettings settings = GetAssemblySettings();
  for (auto& port : m_InPorts) port->m_Assembly.Configure(settings);
}

void CMeldrixDoc::DeliverText(CInPort& source, std::string text, bool convertCharset) {
  if (m_RemoveLeadingSpaces) TrimLeadingWhiteSpace(text);
  if (convertCharset) text = ConvertCharset(text, m_UsedCharset);
  ++m_TotalMessages;
  if (Process(source, text)) ++m_SentMessages;
}

bool CMeldrixDoc::DeliverMailRound(std::optional<CInPort>& mail, std::chrono::steady_clock::time_point deadline) {
  for (int taken = 0; taken < CInPort::kMaxMessagesPerPoll; ++taken) {
    if (!m_ProcessingActive || std::chrono::steady_clock::now() >= deadline) break;
    std::optional<std::string> line = m_MailLines.TakeOldest();
    if (!line) return false;
    if (!mail) {
      mail.emplace();
      mail->m_Name = "Mail";
      mail->m_Source = CInPort::kMail;
    }
    DeliverText(*mail, std::move(*line), false);
  }
  return !m_MailLines.Empty();
}

bool CMeldrixDoc::DeliverSourceRound(CInPort& port, std::chrono::steady_clock::time_point deadline) {
  // A source still holding finished messages is not read further: what it
  // has not delivered stays in its own bounded input (a socket source's
  // list, a file on disk) instead of piling up here.
  if (!port.m_Assembly.HasCompleted() && m_SourcePoll) m_SourcePoll(port);
  port.m_Assembly.FinishPoll();
  // One at a time: a deactivation on the way leaves the rest in the source
  // for the next activation instead of dropping it.
  for (int taken = 0; taken < CInPort::kMaxMessagesPerPoll; ++taken) {
    if (!m_ProcessingActive || std::chrono::steady_clock::now() >= deadline) break;
    std::optional<std::string> text = port.m_Assembly.TakeOldestCompleted();
    if (!text) break;
    DeliverText(port, std::move(*text), port.m_Source != CInPort::kMail);
  }
  if (m_ProcessingActive) port.m_Packer.FlushWhenDue(PackedSend());
  return port.m_Assembly.HasCompleted() || port.PollDue();
}

bool CMeldrixDoc::DeliverMessages(std::chrono::milliseconds budget) {
  if (!m_ProcessingActive) return false;
  const auto deadline = std::chrono::steady_clock::now() + budget;
  ShowMailSinkLog();
  // The internal source "Mail" lives for this pass; what it still has
  // packed when the pass ends is sent now, as no timer is left to send it.
  std::optional<CInPort> mail;
  bool workLeft = true;
  while (workLeft && m_ProcessingActive) {
    workLeft = false;
    const std::size_t units = m_InPorts.GetSize() + 1;
    const std::size_t start = m_DeliveryStart % units;
    for (std::size_t i = 0; i < units && m_ProcessingActive; ++i) {
      const std::size_t unit = (start + i) % units;
      if (std::chrono::steady_clock::now() >= deadline) {
        m_DeliveryStart = unit;
        workLeft = true;
        break;
      }
      const bool more = unit == 0 ? DeliverMailRound(mail, deadline)
                                  : DeliverSourceRound(m_InPorts[unit - 1], deadline);
      if (more) workLeft = true;
    }
    if (workLeft && std::chrono::steady_clock::now() >= deadline) break;
  }
  if (!workLeft) m_DeliveryStart = 0;
  if (mail && m_ProcessingActive) SendPackedMessage(*mail);
  return workLeft && m_ProcessingActive;
}

void CMeldrixDoc::DrainMailLines(std::chrono::milliseconds timeLimit) {
  ShowMailSinkLog();
  if (m_MailLines.Empty()) return;
  // Every queued line was answered "250 ok." to its sender, so each one is
  // sent now, in order, or reported. The Korvane calls share the time limit:
  // a hanging Korvane would otherwise hold every call for its own limit.
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  const auto timeLeft = [deadline] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  };
  const auto* client = dynamic_cast<const CKorvane*>(&GetKorvane());
  const std::shared_ptr<IKorvane> korvane = m_Korvane;  // keeps *client alive
  const auto boundKorvane = [&] {
    if (!client) return;
    // A copy keeps the addresses the client has already looked up.
    auto bounded = std::make_shared<CKorvane>(*client);
    bounded->SetTimeout(std::clamp(timeLeft(), std::chrono::milliseconds(1), client->Timeout()));
    m_Korvane = std::move(bounded);
  };
  CInPort mail;
  mail.m_Name = "Mail";
  mail.m_Source = CInPort::kMail;
  // Less than this left is no chance for a round trip: such a line is
  // reported with its text instead of failing with a time-out of its own.
  constexpr std::chrono::milliseconds kShortestSend{100};
  while (std::optional<std::string> line = m_MailLines.TakeOldest()) {
    if (timeLeft() < kShortestSend) {
      ShowLine(kColourSendError, LoadText("IDS_MAIL_NOT_SENT_AT_STOP") + *line);
      ++m_TotalErrors;
      continue;
    }
    boundKorvane();
    DeliverText(mail, std::move(*line), false);
  }
  boundKorvane();
  SendPackedMessage(mail);
  if (client) m_Korvane = korvane;
}

void CMeldrixDoc::DeliverBeforeDeactivation(std::chrono::milliseconds mailTimeLimit) {
  if (!m_ProcessingActive) return;
  DrainMailLines(mailTimeLimit);
  for (auto& entry : m_InPorts) {
    CInPort& port = *entry;
    port.m_Assembly.ClearMultilineTimer();
    port.m_Assembly.CheckHeldMessage();
    while (std::optional<std::string> text = port.m_Assembly.TakeOldestCompleted())
      DeliverText(port, std::move(*text), port.m_Source != CInPort::kMail);
    SendPackedMessage(port);
  }
}

}  // namespace meldrix
