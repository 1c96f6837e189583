#include "sources/SmtpMeldrixHandler.h"

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
      packed.reserve(text.size() + 2);
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
      // Every line of the body is a text of its own, at CR LF or a bare LF;
      // double quotes are text (`Melder "Halle 3"`, `3" Rohr`) and never
      // join lines. The line end that closes the last line starts no further
      // line: a body ending in a line end must not queue an empty text.
      const std::string all = text + mail.body;
      std::size_t start = 0;
      while (start < all.size()) {
        const std::size_t end = all.find('\n', start);
        if (end == std::string::npos) {
          lines.push_back(all.substr(start));
          break;
        }
        const std::size_t cut = end > start && all[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(all.substr(start, cut - start));
        start = end + 1;
      }
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
