#include "app/CallMonitorService.h"

namespace meldrix {

CallMonitorService::CallMonitorService(EventLoop& loop, Deliver deliver, CCallMonitor::LogHandler log)
    : loop_(loop), deliver_(std::move(deliver)), log_(std::move(log)) {}

CallMonitorService::~CallMonitorService() {
  monitor_.reset();
  loop_.CancelTimer(timer_);
}

void CallMonitorService::Configure(const std::string& value) {
  if (value == value_) return;
  value_ = value;
  monitor_.reset();
  if (value.empty()) return;
  auto endpoint = ParseCallMonitorEndpoint(value);
  if (!endpoint) {
    log_("ISDN call monitor \"" + value + "\" is not of the form tcp:HOST:PORT; no call information", true);
    return;
  }
  monitor_ = std::make_unique<CCallMonitor>(
      loop_, std::move(*endpoint), [this](const CallMonitorRing& ring) { OnCall(ring); }, log_);
}

void CallMonitorService::OnCall(const CallMonitorRing& ring) {
  texts_.push_back(ring.calling + "-" + ring.called);
  if (!loop_.TimerPending(timer_)) timer_ = loop_.StartTimer(0, [this] { DeliverQueued(); });
}

void CallMonitorService::DeliverQueued() {
  while (!texts_.empty()) {
    std::string text = std::move(texts_.front());
    texts_.pop_front();
    deliver_(text);
  }
}

}  // namespace meldrix
