// Kind 6: unread e-mail taken from a mailbox through the local mail service
// (meldrix-mailservice), which speaks POP3 for us.
#pragma once

#include <cstdint>
#include <string>

#include "sources/MailServiceClient.h"
#include "sources/MessageSource.h"

namespace meldrix {

class CMailMessageSource : public IMessageSource {
 public:
  explicit CMailMessageSource(const InSourceSettings& settings, MailServiceLimits limits = {})
      : settings_(settings), limits_(limits) {}

  // The service's address: section "MailService", key "Endpoint"
  // ("HOST:PORT"), else 127.0.0.1:20010.
  static constexpr const char* kDefaultHost = "127.0.0.1";
  static constexpr std::uint16_t kDefaultPort = 20010;
  // More unread mails than this make the source busy: it polls again soon.
  static constexpr long kBusyCount = 100;
  static constexpr std::uint32_t kBusyPollMs = 1000;
  static constexpr std::uint32_t kIdlePollMs = 10000;
  // A poll takes at most this many mails; the rest follow at the next one.
  static constexpr long kMaxMailsPerPoll = 1000;

  // Never fails: a service that is not running is only traced at each poll.
  bool Open(const OutPortServices& services) override;
  void Close() override {}
  std::string Describe() const override;
  // Registers the mailbox, asks for the count and takes each mail: its
  // subject as one line, its body as text. Any request the service does not
  // answer ends the poll, so one poll blocks for at most one request's limit
  // on a service that has hung.
  std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) override;

 private:
  // Hands one mail to the assembly; false when the service had none.
  static bool Deliver(const CMailXmlDocument& mail, IMessageSink& sink);

  const InSourceSettings& settings_;
  MailServiceLimits limits_;
  std::string host_ = kDefaultHost;
  std::uint16_t port_ = kDefaultPort;
};

}  // namespace meldrix
