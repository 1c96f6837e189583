// The SMTP dialogue of the program's mail sink: every received mail becomes
// expression variables and message lines for the engine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sources/SmtpSinkInterfaces.h"
#include "sources/SmtpSvrSocketHandler.h"

namespace meldrix {

class CMeldrixSmtpHandler : public CSmtpSvrSocketHandler {
 public:
  using SettingsSource = std::function<MailServerSettings()>;

  CMeldrixSmtpHandler(IMailLineSink& sink, IMailVariableSetter& variables, SettingsSource settings,
                      SmtpLimits limits = {}, LogCallback log = {});

  void OnMailReceived(CMailMessage& mail) override;

  // The texts a mail gives under the settings, in queue order.
  static std::vector<std::string> MailLines(const CMailMessage& mail, const MailServerSettings& settings);

 private:
  IMailLineSink& sink_;
  IMailVariableSetter& variables_;
  SettingsSource settings_;
};

}  // namespace meldrix
