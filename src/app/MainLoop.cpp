#include "app/MainLoop.h"

#include <signal.h>

#include "util/StreamDoc.h"

namespace meldrix {

CMainLoop::CMainLoop(EventLoop& loop, IEngineHost& engine) : loop_(loop), engine_(engine) {}

CMainLoop::~CMainLoop() {
  loop_.CancelTimer(protocolTimer_);
  loop_.CancelTimer(deliveryTimer_);
  loop_.CancelTimer(supervisionTimer_);
  loop_.CancelTimer(watchdogTimer_);
}

void CMainLoop::StartServiceNotification(SystemdNotify& notify) {
  notify_ = &notify;
  UpdateServiceStatus();
  if (notify.WatchdogPingInterval().count() > 0) WatchdogTick();
}

std::string CMainLoop::StatusText() const {
  return std::string(engine_.IsActive() ? "Processing active; " : "Processing inactive; ") +
         engine_.CountersText();
}

void CMainLoop::UpdateServiceStatus() {
  if (notify_ && notify_->Enabled()) notify_->Status(StatusText());
}

void CMainLoop::WatchdogTick() {
  notify_->Watchdog();
  UpdateServiceStatus();
  watchdogTimer_ = loop_.StartTimer(static_cast<std::uint32_t>(notify_->WatchdogPingInterval().count()),
                                    [this] { WatchdogTick(); });
}

void CMainLoop::StartSupervision() {
  supervisionTimer_ = loop_.StartTimer(kSupervisionFirstMs, [this] { SupervisionTick(); });
}

void CMainLoop::StartProcessingTimers() {
  processingTimersAllowed_ = true;
  ResumeProcessingTimers();
}

bool CMainLoop::Activate() {
  const bool activated = engine_.Activate();
  ResumeProcessingTimers();
  UpdateServiceStatus();
  return activated;
}

void CMainLoop::ResumeProcessingTimers() {
  if (!processingTimersAllowed_ || !engine_.IsActive()) return;
  if (!loop_.TimerPending(deliveryTimer_))
    deliveryTimer_ = loop_.StartTimer(kDeliveryTimerMs, [this] { DeliveryTick(); });
  if (engine_.HasDeviceProtocols() && !loop_.TimerPending(protocolTimer_))
    protocolTimer_ = loop_.StartTimer(kProtocolTimerMs, [this] { ProtocolTick(); });
}

void CMainLoop::ProtocolTick() {
  protocolTimer_ = 0;
  // Stops with the last protocol source; the next activation starts it again.
  if (!engine_.IsActive() || !engine_.HasDeviceProtocols()) return;
  const bool inTelegram = engine_.PumpProtocols();
  if (engine_.IsActive())
    protocolTimer_ = loop_.StartTimer(inTelegram ? kProtocolTelegramMs : kProtocolTimerMs,
                                      [this] { ProtocolTick(); });
}

void CMainLoop::DeliveryTick() {
  deliveryTimer_ = 0;
  if (!engine_.IsActive()) return;
  const bool workLeft = engine_.Deliver();
  UpdateServiceStatus();
  if (engine_.IsActive())
    deliveryTimer_ = loop_.StartTimer(workLeft ? 0 : kDeliveryTimerMs, [this] { DeliveryTick(); });
}

void CMainLoop::SupervisionTick() {
  Supervise();
  supervisionTimer_ = loop_.StartTimer(kSupervisionMs, [this] { SupervisionTick(); });
}

void CMainLoop::Supervise() {
  if (engine_.ConfigurationChanged()) ReloadConfiguration();
  if (engine_.IsActive()) engine_.SendCheck();
  ResumeProcessingTimers();
  UpdateServiceStatus();
}

void CMainLoop::ReloadConfiguration() {
  bool wasActive = engine_.IsActive();
  if (wasActive) engine_.Deactivate();
  engine_.Reload();
  if (wasActive) Activate();
}

void CMainLoop::OnSignal(int signal) {
  switch (signal) {
    case SIGHUP:
      // An outside edit is picked up now instead of within the next minute.
      if (engine_.ConfigurationChanged()) ReloadConfiguration();
      break;
    case SIGTERM:
    case SIGINT:
      if (engine_.IsActive()) engine_.Deactivate();
      loop_.Quit(0);
      break;
    case SIGUSR1:
      engine_.Log().Write(engine_.CountersText() + "\n");
      break;
    default:
      break;
  }
  UpdateServiceStatus();
}

}  // namespace meldrix
