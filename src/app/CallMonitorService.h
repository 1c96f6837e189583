// ISDN call information for the engine: the call monitor named in section
// "ISDN", key "CallMonitor" (`tcp:HOST:PORT`). Each incoming call becomes the
// text "calling-called" (the calling number empty when suppressed), handed
// over on the event loop right after the read that brought it, as the DDE
// service does with its texts. Without the key there is no monitor and
// nothing is reported.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/EventLoop.h"
#include "sources/CallMonitor.h"

namespace meldrix {

class CallMonitorService {
 public:
  using Deliver = std::function<void(const std::string& text)>;

  CallMonitorService(EventLoop& loop, Deliver deliver, CCallMonitor::LogHandler log);
  ~CallMonitorService();
  CallMonitorService(const CallMonitorService&) = delete;
  CallMonitorService& operator=(const CallMonitorService&) = delete;

  // Takes the value of "CallMonitor" (empty: none). The same endpoint keeps
  // its connection; another one replaces it; a value that is not
  // `tcp:HOST:PORT` gives one red log line and no monitor.
  void Configure(const std::string& value);
  bool Configured() const { return monitor_ != nullptr; }
  const CCallMonitor* Monitor() const { return monitor_.get(); }

 private:
  void OnCall(const CallMonitorRing& ring);
  void DeliverQueued();

  EventLoop& loop_;
  Deliver deliver_;
  CCallMonitor::LogHandler log_;
  std::string value_;
  std::unique_ptr<CCallMonitor> monitor_;
  std::deque<std::string> texts_;
  EventLoop::TimerId timer_ = 0;
};

}  // namespace meldrix
