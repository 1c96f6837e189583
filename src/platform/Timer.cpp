#include "platform/Timer.h"

#include "platform/Env.h"

#include <chrono>

namespace meldrix {

std::uint64_t SteadyMilliClock::NowMs() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const MilliClock& ProcessClock() { return *ProcessEnv().timerClock; }

ScopedFakeClock::ScopedFakeClock(std::uint64_t startMs)
    : clock_(std::make_shared<FakeClock>(startMs)),
      env_(std::make_unique<ScopedEnv>(Env{.timerClock = clock_})) {}

ScopedFakeClock::~ScopedFakeClock() = default;

TimerValue TimerValueAt(std::uint64_t nowMs, std::uint32_t ms) {
  if (ms > kTimerMaxMs) ms = kTimerMaxMs;
  auto value = static_cast<TimerValue>(nowMs + ms);
  // 0 is reserved for "no timer"; one millisecond later is the nearest moment.
  return value == 0 ? 1 : value;
}

bool TimerValueReached(std::uint64_t nowMs, TimerValue timer) {
  if (timer == 0) return false;
  return TimerDifference(timer, static_cast<TimerValue>(nowMs)) >= 0;
}

TimerValue TimerStart(std::uint32_t ms) { return TimerValueAt(ProcessClock().NowMs(), ms); }

int TimerTimeout(TimerValue timer) {
  return TimerValueReached(ProcessClock().NowMs(), timer) ? 1 : 0;
}

std::int32_t TimerDifference(TimerValue a, TimerValue b) {
  // Two's complement difference; well-defined through the unsigned subtraction.
  return static_cast<std::int32_t>(b - a);
}

}  // namespace meldrix
