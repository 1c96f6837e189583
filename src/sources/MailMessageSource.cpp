#include "sources/MailMessageSource.h"

#include "mail/Utf8FixUp.h"
#include "util/StringTable.h"
#include "util/Trace.h"

namespace meldrix {
namespace {

// "HOST:PORT" into its parts; false when it is not of that form.
bool ParseEndpoint(const std::string& endpoint, std::string& host, std::uint16_t& port) {
  const std::size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == endpoint.size()) return false;
  const long value = ParseAutoBaseInteger(endpoint.substr(colon + 1));
  if (value <= 0 || value > 65535) return false;
  host = endpoint.substr(0, colon);
  port = static_cast<std::uint16_t>(value);
  return true;
}

// The body as the end of one message: line breaks become blanks, trailing
// white space goes, one CR LF ends it.
std::string BodyText(const std::string& body) {
  std::string text;
  text.reserve(body.size() + 2);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
      text += ' ';
      ++i;
    } else {
      text += body[i];
    }
  }
  const std::size_t last = text.find_last_not_of(" \t\n\v\f\r");
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text += "\r\n";
}

}  // namespace

bool CMailMessageSource::Open(const OutPortServices& services) {
  host_ = kDefaultHost;
  port_ = kDefaultPort;
  if (services.config) {
    const std::string endpoint = services.config("MailService", "Endpoint");
    if (!endpoint.empty() && !ParseEndpoint(endpoint, host_, port_)) {
      services.Log("Mail source " + settings_.m_Name + ": MailService Endpoint \"" + endpoint +
                   "\" is not HOST:PORT; using 127.0.0.1:20010");
      host_ = kDefaultHost;
      port_ = kDefaultPort;
    }
  }
  return true;
}

std::string CMailMessageSource::Describe() const {
  return LoadText("IDS_DESCRIBE_EMAIL") + " " + settings_.m_MailUser;
}

std::uint32_t CMailMessageSource::Poll(IMessageSink& sink, const OutPortServices&) {
  MailboxSettings mailbox;
  mailbox.server = settings_.m_MailServer;
  mailbox.port = settings_.m_MailPort;
  mailbox.user = settings_.m_MailUser;
  mailbox.password = settings_.m_MailPassword;
  mailbox.auth = settings_.m_MailAuth;
  mailbox.sslMode = settings_.m_MailSSLMode == "SSL" ? "1" : settings_.m_MailSSLMode;

  CMailServiceClient service(host_, port_, limits_);
  const auto registered = service.Register(mailbox);
  if (!registered.ok() || registered.reply->Integer("ResultCode") != 0) {
    TraceMessage(kTraceMail, "Mail: Service not running\n");
    // A service that answered says why it refused the mailbox.
    if (registered.ok()) TraceMessage(kTraceMail, "Mail: %s\n", registered.reply->Value("ResultText").c_str());
    return kIdlePollMs;
  }
  const std::string serverKey = MailServerKey(mailbox);
  const auto counted = service.CountUnread(serverKey);
  if (!counted.ok()) {
    TraceMessage(kTraceMail, "Mail: count failed: %s", service.LastError().c_str());
    return kIdlePollMs;
  }
  if (counted.reply->Integer("ResultCode") != 0)  // e.g. the mailbox could not be fetched
    TraceMessage(kTraceMail, "Mail: %s\n", counted.reply->Value("ResultText").c_str());
  const long count = counted.reply->Integer("UnreadedMails");
  const bool busy = count > kBusyCount;
  const long take = count < kMaxMailsPerPoll ? count : kMaxMailsPerPoll;
  for (long i = 0; i < take; ++i) {
    const auto mail = service.NextUnread(serverKey);
    // Nothing is delivered from a reply that did not come: the service
    // keeps the mail for the next poll.
    if (!mail.ok()) {
      TraceMessage(kTraceMail, "Mail: taking a mail failed: %s", service.LastError().c_str());
      break;
    }
    if (!Deliver(*mail.reply, sink)) break;
    const std::string token = mail.reply->Value("Token");
    if (token.empty()) continue;
    const auto marked = service.MarkRead(token, serverKey);
    if (!marked.ok() && marked.status != CMailServiceClient::Status::Unparsable) {
      TraceMessage(kTraceMail, "Mail: marking a mail read failed: %s", service.LastError().c_str());
      break;
    }
  }
  return busy ? kBusyPollMs : kIdlePollMs;
}

bool CMailMessageSource::Deliver(const CMailXmlDocument& mail, IMessageSink& sink) {
  if (!mail.Has("Token") && !mail.Has("Subject") && !mail.Has("Body")) return false;
  sink.TakeTelegram(Utf8FixUp(mail.Value("Subject")));
  // Every byte of a mail taken from the service goes in, whatever the
  // per-poll message limit says: it cannot be asked for again.
  for (const char c : BodyText(Utf8FixUp(mail.Value("Body")))) sink.TakeByte(static_cast<unsigned char>(c));
  return true;
}

}  // namespace meldrix
