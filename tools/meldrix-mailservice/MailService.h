// The four requests of the mail service and the mailboxes they name: each
// mailbox keeps the mails fetched from its POP3 server until the client has
// taken them and marked them read, which deletes them on the server.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "Pop3Session.h"
#include "RawMail.h"
#include "sources/MailServiceProtocol.h"

namespace meldrix::mailservice {

struct ServiceLimits {
  std::size_t maxMailsPerCount = 500;
  std::size_t maxMailSize = 10u << 20;
  std::size_t maxMailboxes = 64;
  // A count request stops fetching after this long, so its reply reaches a
  // client that waits 150 s.
  std::chrono::milliseconds countBudget{120000};
  std::string caFile;
};

class CMailService {
 public:
  explicit CMailService(ServiceLimits limits, std::function<void(const std::string&)> log = nullptr);

  // One request document in, one reply document out.
  std::string Handle(std::string_view request);

 private:
  enum class State { Fetched, HandedOut, Read };
  struct Mail {
    std::string uid;
    DecodedMail text;
    State state = State::Fetched;
  };
  struct Mailbox {
    std::mutex lock;
    Pop3Account account;
    std::deque<Mail> mails;        // oldest first
    std::set<std::string> skipped;  // uids too large to fetch
    std::set<std::string> deleted;  // uids deleted, until the server no longer lists them
  };
  using Elements = std::vector<std::pair<std::string, std::string>>;

  Elements Register(const CMailXmlDocument& request);
  Elements Count(const CMailXmlDocument& request);
  Elements Next(const CMailXmlDocument& request);
  Elements MarkRead(const CMailXmlDocument& request);

  std::shared_ptr<Mailbox> Find(const std::string& serverKey);
  void Log(const std::string& text) const {
    if (log_) log_(text);
  }

  ServiceLimits limits_;
  std::function<void(const std::string&)> log_;
  std::mutex lock_;  // guards mailboxes_
  std::map<std::string, std::shared_ptr<Mailbox>> mailboxes_;
};

}  // namespace meldrix::mailservice
