#include "sources/MailServiceClient.h"

#include "sources/SocketClient.h"
#include "util/Guid.h"

namespace meldrix {

CMailServiceClient::Result CMailServiceClient::Register(const MailboxSettings& mailbox) {
  return Exchange(GetPOP3MsgRequest(mailbox, NewGuidText(false)), limits_.replyMs);
}

CMailServiceClient::Result CMailServiceClient::CountUnread(const std::string& serverKey) {
  return Exchange(GetUnreadedMailsCountRequest(serverKey, NewGuidText(false)), limits_.countReplyMs);
}

CMailServiceClient::Result CMailServiceClient::NextUnread(const std::string& serverKey) {
  return Exchange(GetNewUnreadMailRequest(serverKey, NewGuidText(false)), limits_.replyMs);
}

CMailServiceClient::Result CMailServiceClient::MarkRead(const std::string& token, const std::string& serverKey) {
  return Exchange(SetMailReadedRequest(token, serverKey, NewGuidText(false)), limits_.replyMs);
}

CMailServiceClient::Result CMailServiceClient::Exchange(const std::string& request, long replyLimitMs) {
  lastError_.clear();
  Result result;
  CSocketClient client;
  if (!client.Connect(host_, port_, limits_.connectMs)) {
    lastError_ = client.ErrorText();
    return result;
  }
  if (!client.Send(request)) {
    lastError_ = "send failed (error " + std::to_string(client.LastError()) + ")\n";
    return result;
  }
  std::string reply;
  const auto end = client.ReceiveReply(reply, replyLimitMs, limits_.maxReplyBytes, CMailXmlDocument::IsComplete);
  client.Close();
  if (reply.empty()) {
    result.status = Status::NoReply;
    lastError_ = end == CSocketClient::ReplyEnd::TimedOut ? "no reply in time\n" : "closed without a reply\n";
    return result;
  }
  result.reply = end == CSocketClient::ReplyEnd::TooLarge ? std::nullopt : CMailXmlDocument::Parse(reply);
  if (!result.reply) {
    // A reply cut by the time limit counts as no reply, not as a bad one.
    result.status = end == CSocketClient::ReplyEnd::TimedOut ? Status::NoReply : Status::Unparsable;
    lastError_ = end == CSocketClient::ReplyEnd::TooLarge ? "reply too large\n" : "unreadable reply\n";
    return result;
  }
  result.status = Status::Ok;
  return result;
}

}  // namespace meldrix
