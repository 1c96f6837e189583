#include "platform/Timer.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace meldrix {

std::uint64_t SteadyMilliClock::NowMs() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

// The clock is read on every received byte, so readers take a plain atomic
// pointer; replaced clocks are kept alive so a reader on another thread never
// sees a destroyed object (replacement only happens in tests).
struct ClockSlot {
  std::mutex mutex;
  std::shared_ptr<MilliClock> current;
  std::vector<std::shared_ptr<MilliClock>> retired;
  std::atomic<const MilliClock*> active{nullptr};
};

ClockSlot& Slot() {
  static ClockSlot slot;
  return slot;
}

const MilliClock& Steady() {
  static const SteadyMilliClock steady;
  return steady;
}

}  // namespace

const MilliClock& ProcessClock() {
  const MilliClock* clock = Slot().active.load(std::memory_order_acquire);
  return clock ? *clock : Steady();
}

void SetProcessClock(std::shared_ptr<MilliClock> clock) {
  ClockSlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  if (slot.current) slot.retired.push_back(slot.current);
  slot.current = std::move(clock);
  slot.active.store(slot.current.get(), std::memory_order_release);
}

ScopedFakeClock::ScopedFakeClock(std::uint64_t startMs)
    : clock_(std::make_shared<FakeClock>(startMs)) {
  SetProcessClock(clock_);
}

ScopedFakeClock::~ScopedFakeClock() { SetProcessClock(nullptr); }

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
