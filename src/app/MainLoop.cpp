#include "app/MainLoop.h"

#include <signal.h>

#include "util/StreamDoc.h"

namespace meldrix {

CMainLoop::CMainLoop(EventLoop& loop, IEngineHost& engine) : loop_(loop), engine_(engine) {}

CMainLoop::~CMainLoop() {
  loop_.CancelTimer(protocolTimer_);
  loop_.CancelTimer(deliveryTimer_);
  loop_.CancelTimer(supervisionTimer_);
}

void CMainLoop::StartSupervision() {
  supervisionTimer_ = loop_.StartTimer(kSupervisionFirstMs, [this] { SupervisionTick(); });
  protocolTimer_ = loop_.StartTimer(kProtocolTimerMs, [this] { ProtocolTick(); });
}

void CMainLoop::StartProcessingTimers() {
  deliveryTimer_ = loop_.StartTimer(kDeliveryTimerMs, [this] { DeliveryTick(); });
}

void CMainLoop::ProtocolTick() {
  bool inTelegram = engine_.IsActive() && engine_.PumpProtocols();
  protocolTimer_ = loop_.StartTimer(inTelegram ? kProtocolTelegramMs : kProtocolTimerMs,
                                    [this] { ProtocolTick(); });
}

void CMainLoop::DeliveryTick() {
  if (engine_.IsActive()) engine_.Deliver();
  deliveryTimer_ = loop_.StartTimer(kDeliveryTimerMs, [this] { DeliveryTick(); });
}

void CMainLoop::SupervisionTick() {
  Supervise();
  supervisionTimer_ = loop_.StartTimer(kSupervisionMs, [this] { SupervisionTick(); });
}

void CMainLoop::Supervise() {
  if (engine_.ConfigurationChanged()) ReloadConfiguration();
  if (engine_.IsActive()) engine_.SendCheck();
}

void CMainLoop::ReloadConfiguration() {
  bool wasActive = engine_.IsActive();
  if (wasActive) engine_.Deactivate();
  engine_.Reload();
  if (wasActive) engine_.Activate();
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
}

}  // namespace meldrix
