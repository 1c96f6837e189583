// An engine for the main loop and the control requests, without sources, and
// fake time for the loop.
#pragma once

#include <string>
#include <utility>

#include "app/EngineHost.h"
#include "platform/EventLoop.h"
#include "platform/Timer.h"
#include "util/StreamDoc.h"

namespace meldrix {

// Records what the main loop asks of the engine: "A"ctivate, "D"eactivate, "R"eload.
class FakeEngine : public IEngineHost {
 public:
  CStreamDoc& Log() override { return log; }
  bool AutoActivate() const override { return false; }
  bool IsActive() const override { return active; }
  bool Activate() override { calls += "A"; return active = true; }
  void Deactivate() override { calls += "D"; active = false; }
  bool HasDeviceProtocols() const override { return active && protocols; }
  bool PumpProtocols() override { ++pumps; return inTelegram; }
  bool Deliver() override {
    ++deliveries;
    return passesLeft > 0 && --passesLeft > 0;
  }
  bool ConfigurationChanged() override { return std::exchange(changed, false); }
  void Reload() override { calls += "R"; }
  void SendCheck() override { ++checks; }
  std::string CountersText() const override { return "Total messages: 3"; }

  CStreamDoc log{100, 80};
  bool active = false, protocols = true, inTelegram = false, changed = false;
  int passesLeft = 0;  // passes that still find work, the last one included
  int pumps = 0, deliveries = 0, checks = 0;
  std::string calls;
};

// Lets `ms` milliseconds of fake time pass, a millisecond at a time, running
// every timer as it falls due.
inline void RunFakeMilliseconds(EventLoop& loop, ScopedFakeClock& clock, int ms) {
  for (int i = 0; i < ms; ++i) {
    clock->Advance(1);
    while (loop.MillisecondsToNextTimer() == 0) loop.RunOnce(0);
  }
}

}  // namespace meldrix
