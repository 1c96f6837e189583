// The program's SMTP receiver ("ostravel SMTP message sink"): listens on the
// configured port while processing is active and turns every received mail
// into message lines for the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "sources/SmtpMeldrixHandler.h"
#include "sources/SocketListener.h"

namespace meldrix {

class CSmtpSink {
 public:
  using LogCallback = CSmtpSvrSocketHandler::LogCallback;

  // sink and variables must outlive the sink object. log receives one line
  // per problem worth the user's attention (port not bound, limits hit).
  CSmtpSink(IMailLineSink& sink, IMailVariableSetter& variables, LogCallback log = {},
            SmtpLimits limits = {});
  ~CSmtpSink();

  // Starts listening on settings.SmtpPort (0 = a free port). A port that
  // cannot be bound leaves the sink off and is reported through the log.
  bool Start(const MailServerSettings& settings);
  void Stop();
  // Settings changed while running apply to the next mail.
  void SetSettings(const MailServerSettings& settings);

  bool IsRunning() const { return listener_.IsRunning(); }
  std::uint16_t Port() const { return listener_.Port(); }
  std::size_t ConnectionCount() const { return listener_.ConnectionCount(); }

 private:
  MailServerSettings Settings() const;

  IMailLineSink& sink_;
  IMailVariableSetter& variables_;
  LogCallback log_;
  SmtpLimits limits_;
  mutable std::mutex settingsMutex_;
  MailServerSettings settings_;
  CSocketListener listener_;
};

}  // namespace meldrix
