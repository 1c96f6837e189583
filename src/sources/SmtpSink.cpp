#include "sources/SmtpSink.h"

#include <cstring>
#include <memory>

namespace meldrix {

CSmtpSink::CSmtpSink(IMailLineSink& sink, IMailVariableSetter& variables, LogCallback log, SmtpLimits limits)
    : sink_(sink),
      variables_(variables),
      log_(std::move(log)),
      limits_(limits),
      listener_(
          [this]() -> std::unique_ptr<CSocketServer> {
            return std::make_unique<CMeldrixSmtpHandler>(sink_, variables_, [this] { return Settings(); }, limits_,
                                                         log_);
          },
          CSocketListener::Options{limits.maxConnections, CSmtpSvrSocketHandler::kBusyReply, {}}) {}

CSmtpSink::~CSmtpSink() { Stop(); }

bool CSmtpSink::Start(const MailServerSettings& settings) {
  SetSettings(settings);
  if (settings.SmtpPort < 0 || settings.SmtpPort > 65535) {
    if (log_) log_("SMTP message sink: invalid port " + std::to_string(settings.SmtpPort) + "; the sink is off");
    return false;
  }
  int error = 0;
  if (!listener_.Start(static_cast<std::uint16_t>(settings.SmtpPort), error)) {
    if (log_) {
      log_("SMTP message sink: port " + std::to_string(settings.SmtpPort) + " cannot be bound (" +
           std::strerror(error) + "); the sink is off");
    }
    return false;
  }
  return true;
}

void CSmtpSink::Stop() { listener_.Stop(); }

void CSmtpSink::SetSettings(const MailServerSettings& settings) {
  std::lock_guard lock(settingsMutex_);
  settings_ = settings;
}

MailServerSettings CSmtpSink::Settings() const {
  std::lock_guard lock(settingsMutex_);
  return settings_;
}

}  // namespace meldrix
