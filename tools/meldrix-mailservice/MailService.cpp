#include "MailService.h"

#include <algorithm>

#include "platform/Cp1252.h"
#include "util/XmlEscape.h"

namespace meldrix::mailservice {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::pair<std::string, std::string>> Failure(int code, const std::string& text) {
  return {{"ResultCode", std::to_string(code)}, {"ResultText", MailXmlEscapeText(text)}};
}

std::string Describe(const Pop3Account& account) {
  return account.user + "@" + account.server + ":" + std::to_string(account.port);
}

}  // namespace

CMailService::CMailService(ServiceLimits limits, std::function<void(const std::string&)> log)
    : limits_(std::move(limits)), log_(std::move(log)) {}

std::string CMailService::Handle(std::string_view text) {
  const auto request = CMailXmlDocument::Parse(text);
  Elements reply;
  if (!request) {
    reply = Failure(1, "malformed request");
  } else {
    const std::string function = request->Value("FKTName");
    if (function == kGetPOP3Msg)
      reply = Register(*request);
    else if (function == kGetUnreadedMailsCount)
      reply = Count(*request);
    else if (function == kGetNewUnreadMail)
      reply = Next(*request);
    else if (function == kSetMailReaded)
      reply = MarkRead(*request);
    else
      reply = Failure(1, "unknown function \"" + function + "\"");
  }
  return MailXmlDocumentText(reply);
}

std::shared_ptr<CMailService::Mailbox> CMailService::Find(const std::string& serverKey) {
  std::lock_guard guard(lock_);
  const auto found = mailboxes_.find(serverKey);
  return found == mailboxes_.end() ? nullptr : found->second;
}

CMailService::Elements CMailService::Register(const CMailXmlDocument& request) {
  MailboxSettings settings;
  settings.server = request.Value("Server");
  settings.port = request.Value("Port");
  settings.user = request.Value("User");
  settings.password = request.Value("Pass");
  settings.sslMode = request.Value("SSLMode");
  settings.auth = request.Value("Auth");

  Pop3Account account;
  account.server = settings.server;
  account.user = settings.user;
  account.password = settings.password;
  account.caFile = limits_.caFile;
  if (settings.server.empty()) return Failure(2, "no mail server given");
  account.port = ParseAutoBaseInteger(settings.port);
  if (account.port <= 0 || account.port > 65535) return Failure(2, "invalid port \"" + settings.port + "\"");
  if (settings.sslMode == "1" || settings.sslMode == "SSL")
    account.tls = true;
  else if (settings.sslMode == "0")
    account.tls = false;
  else
    return Failure(2, "unknown SSL mode \"" + settings.sslMode + "\" (0 plain, 1 TLS)");
  if (EqualsNoCaseAscii(settings.auth, "PLAIN"))
    account.loginOptions = "AUTH=PLAIN";
  else if (EqualsNoCaseAscii(settings.auth, "AUTO"))
    account.loginOptions.clear();  // libcurl takes the best the server offers
  else
    return Failure(3, "authentication \"" + settings.auth + "\" is not supported; use PLAIN or AUTO");
  const long timeout = request.Integer("Timeout", 10000);
  account.connectTimeoutMs = timeout > 0 && timeout <= 120000 ? timeout : 10000;

  const std::string key = MailServerKey(settings);
  std::shared_ptr<Mailbox> mailbox;
  {
    std::lock_guard guard(lock_);
    auto& slot = mailboxes_[key];
    if (!slot) {
      if (mailboxes_.size() > limits_.maxMailboxes) {
        mailboxes_.erase(key);
        return Failure(4, "too many mailboxes (at most " + std::to_string(limits_.maxMailboxes) + ")");
      }
      slot = std::make_shared<Mailbox>();
      Log("mailbox " + Describe(account) + " registered");
    }
    mailbox = slot;
  }
  std::lock_guard guard(mailbox->lock);
  mailbox->account = std::move(account);
  return {{"ResultCode", "0"}, {"ResultText", "OK"}, {"ServerKey", XmlEscape(key)}};
}

CMailService::Elements CMailService::Count(const CMailXmlDocument& request) {
  const auto mailbox = Find(request.Value("ServerKey"));
  if (!mailbox) return {{"UnreadedMails", "0"}, {"ResultCode", "2"}, {"ResultText", "mailbox not registered"}};
  const auto start = Clock::now();
  std::lock_guard guard(mailbox->lock);
  auto& mails = mailbox->mails;
  // A mail handed out but never marked read did not reach its client: it
  // is handed out again.
  for (Mail& mail : mails)
    if (mail.state == State::HandedOut) mail.state = State::Fetched;

  std::string problem;
  std::size_t fetched = 0, skippedNow = 0;
  {
    Pop3Session session(mailbox->account);
    const auto listing = session.List();
    if (!listing) {
      problem = "POP3 " + Describe(mailbox->account) + ": " + session.Error();
    } else {
      std::set<std::string> onServer;
      for (const Pop3Entry& entry : *listing) onServer.insert(entry.uid);
      std::erase_if(mailbox->deleted, [&](const std::string& uid) { return !onServer.count(uid); });
      std::erase_if(mailbox->skipped, [&](const std::string& uid) { return !onServer.count(uid); });
      // Mails marked read whose deletion failed before go now.
      for (const Pop3Entry& entry : *listing) {
        const auto mail = std::find_if(mails.begin(), mails.end(), [&](const Mail& m) { return m.uid == entry.uid; });
        if (mail == mails.end() || mail->state != State::Read) continue;
        if (session.Delete(entry.number)) {
          mailbox->deleted.insert(entry.uid);
          mails.erase(mail);
        }
      }
      std::erase_if(mails, [&](const Mail& m) { return m.state == State::Read && !onServer.count(m.uid); });

      std::set<std::string> stored;
      for (const Mail& mail : mails) stored.insert(mail.uid);
      std::size_t waiting = 0;
      for (const Mail& mail : mails) waiting += mail.state == State::Fetched;
      for (const Pop3Entry& entry : *listing) {
        if (stored.count(entry.uid) || mailbox->deleted.count(entry.uid) || mailbox->skipped.count(entry.uid)) continue;
        if (waiting >= limits_.maxMailsPerCount || fetched >= limits_.maxMailsPerCount) break;
        const auto elapsed = Clock::now() - start;
        if (elapsed >= limits_.countBudget) break;
        if (entry.size > limits_.maxMailSize) {
          mailbox->skipped.insert(entry.uid);
          ++skippedNow;
          continue;
        }
        const long left =
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(limits_.countBudget - elapsed).count());
        auto raw = session.Retrieve(entry.number, limits_.maxMailSize, left);
        if (!raw) {
          if (session.Error().rfind("mail larger than", 0) == 0) {
            mailbox->skipped.insert(entry.uid);
            ++skippedNow;
            continue;
          }
          problem = "POP3 " + Describe(mailbox->account) + ": " + session.Error();
          break;
        }
        mails.push_back(Mail{entry.uid, DecodeRawMail(*raw), State::Fetched});
        ++fetched;
        ++waiting;
      }
    }
  }  // the session ends here; deletions take effect
  std::size_t unread = 0;
  for (const Mail& mail : mails) unread += mail.state == State::Fetched;
  if (fetched) Log("mailbox " + Describe(mailbox->account) + ": " + std::to_string(fetched) + " mail(s) fetched");
  std::string text = problem.empty() ? "OK" : problem;
  if (skippedNow) {
    const std::string note = std::to_string(skippedNow) + " mail(s) larger than " +
                             std::to_string(limits_.maxMailSize) + " bytes skipped";
    Log("mailbox " + Describe(mailbox->account) + ": " + note);
    text = problem.empty() ? note : problem + "; " + note;
  }
  if (!problem.empty()) Log(problem);
  return {{"UnreadedMails", std::to_string(unread)},
          {"ResultCode", problem.empty() ? "0" : "5"},
          {"ResultText", MailXmlEscapeText(text)}};
}

CMailService::Elements CMailService::Next(const CMailXmlDocument& request) {
  const auto mailbox = Find(request.Value("ServerKey"));
  if (!mailbox) return Failure(2, "mailbox not registered");
  std::lock_guard guard(mailbox->lock);
  for (Mail& mail : mailbox->mails) {
    if (mail.state != State::Fetched) continue;
    mail.state = State::HandedOut;
    return {{"Subject", MailXmlEscapeText(mail.text.subject)},
            {"Body", MailXmlEscapeText(mail.text.body)},
            {"To", MailXmlEscapeText(mail.text.to)},
            {"From", MailXmlEscapeText(mail.text.from)},
            {"Token", XmlEscape(mail.uid)},
            {"ResultCode", "0"}};
  }
  return Failure(1, "no unread mail");
}

CMailService::Elements CMailService::MarkRead(const CMailXmlDocument& request) {
  const auto mailbox = Find(request.Value("ServerKey"));
  if (!mailbox) return Failure(2, "mailbox not registered");
  const std::string token = request.Value("Token");
  std::lock_guard guard(mailbox->lock);
  auto& mails = mailbox->mails;
  const auto mail = std::find_if(mails.begin(), mails.end(), [&](const Mail& m) { return m.uid == token; });
  if (token.empty() || mail == mails.end()) return Failure(1, "unknown token \"" + token + "\"");
  mail->state = State::Read;
  std::string problem;
  {
    Pop3Session session(mailbox->account);
    const auto listing = session.List();
    if (!listing) {
      problem = session.Error();
    } else {
      const auto entry =
          std::find_if(listing->begin(), listing->end(), [&](const Pop3Entry& e) { return e.uid == token; });
      if (entry != listing->end() && !session.Delete(entry->number)) problem = session.Error();
    }
  }
  if (!problem.empty()) {
    Log("POP3 " + Describe(mailbox->account) + ": deleting a mail failed: " + problem);
    return Failure(2, "deleting the mail failed (" + problem + "); retried at the next count");
  }
  mailbox->deleted.insert(token);
  mails.erase(std::find_if(mails.begin(), mails.end(), [&](const Mail& m) { return m.uid == token; }));
  return {{"ResultCode", "0"}, {"ResultText", "OK"}};
}

}  // namespace meldrix::mailservice
