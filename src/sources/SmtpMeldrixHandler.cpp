#include "sources/SmtpMeldrixHandler.h"

#include "util/TextFields.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

std::string FirstRecipient(const CMailMessage& mail) {
  const auto first = mail.GetRecipient(0, CMailMessage::To);
  return first ? first->address : std::string();
}

}  // namespace

CMeldrixSmtpHandler::CMeldrixSmtpHandler(IMailLineSink& sink, IMailVariableSetter& variables,
                                         SettingsSource settings, SmtpLimits limits, LogCallback log)
    : CSmtpSvrSocketHandler(limits, std::move(log)),
      sink_(sink),
      variables_(variables),
      settings_(std::move(settings)) {}

std::vector<std::string> CMeldrixSmtpHandler::MailLines(const CMailMessage& mail,
                                                        const MailServerSettings& settings) {
  std::vector<std::string> lines;
  std::string text;
  if (settings.IncMailFrom) text += "[FROM:" + mail.sender + "]";
  if (settings.IncMailTo) text += "[TO:" + FirstRecipient(mail) + "]";
  if (settings.UseSubject) {
    text += mail.subject;
    lines.push_back(std::move(text));
    text.clear();
  }
  if (settings.UseBody) {
    if (settings.PackBody) {
      text += mail.body;
      std::string packed;
      packed.reserve(text.size());
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
          packed += ' ';
          ++i;
        } else {
          packed += text[i];
        }
      }
      while (!packed.empty() && IsWhiteSpace(packed.back())) packed.pop_back();
      packed += "\r\n";
      lines.push_back(std::move(packed));
    } else {
      // The line end that closes the last line starts no further line: a body
      // ending in "\r\n" (as text parts do) must not queue an empty text.
      std::string all = text + mail.body;
      if (all.ends_with("\r\n")) all.resize(all.size() - 2);
      SplitFieldsBy(all, lines, "\r\n", true);
    }
  }
  return lines;
}

void CMeldrixSmtpHandler::OnMailReceived(CMailMessage& mail) {
  if (!sink_.IsProcessingActive()) return;
  variables_.SetVariable("$MAILFROM", mail.sender);
  variables_.SetVariable("$MAILTO", FirstRecipient(mail));
  variables_.SetVariable("$SUBJECT", mail.subject);
  std::vector<std::string> lines = MailLines(mail, settings_());
  if (!lines.empty() && !sink_.QueueMailLines(std::move(lines))) {
    Log("SMTP: mail from " + mail.sender + " refused: the mail queue is full");
    RefuseMail();
  }
}

}  // namespace meldrix
