// The local mail service's client: one request per TCP connection, the reply
// read until the document is complete or the service closes, within the
// request's time limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sources/MailServiceProtocol.h"

namespace meldrix {

struct MailServiceLimits {
  long connectMs = 2000;
  long replyMs = 15000;
  long countReplyMs = 150000;  // the service fetches the mailbox meanwhile
  std::size_t maxReplyBytes = 64u << 20;
};

class CMailServiceClient {
 public:
  enum class Status { Ok, NoConnection, NoReply, Unparsable };
  struct Result {
    Status status = Status::NoConnection;
    std::optional<CMailXmlDocument> reply;
    bool ok() const { return status == Status::Ok; }
  };

  CMailServiceClient(std::string host, std::uint16_t port, MailServiceLimits limits = {})
      : host_(std::move(host)), port_(port), limits_(limits) {}

  // `GetPOP3Msg`, `GetNewUnreadMail` and `SetMailReaded` wait up to the
  // reply limit, `GetUnreadedMailsCount` up to the count limit.
  Result Register(const MailboxSettings& mailbox);
  Result CountUnread(const std::string& serverKey);
  Result NextUnread(const std::string& serverKey);
  Result MarkRead(const std::string& token, const std::string& serverKey);

  // Why the last request failed, for the trace ("" after success).
  const std::string& LastError() const { return lastError_; }

 private:
  Result Exchange(const std::string& request, long replyLimitMs);

  std::string host_;
  std::uint16_t port_;
  MailServiceLimits limits_;
  std::string lastError_;
};

}  // namespace meldrix
