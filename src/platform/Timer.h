// Coarse timers of the serial and timer library: a timer value is the moment,
// in milliseconds of a monotonic clock (modulo 2^32), at which it runs out.
// 0 means "no timer", so TimerStart never returns 0. The difference of two
// timer values is signed milliseconds, which keeps comparisons right across the
// wrap of the 32-bit counter (every 49.7 days) for durations below 24.8 days.
//
// The clock comes from the process's environment: tests install a FakeClock
// and advance it instead of sleeping.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace meldrix {

using TimerValue = std::uint32_t;

// Monotonic milliseconds; never goes back. May be read from any thread.
class MilliClock {
 public:
  virtual ~MilliClock() = default;
  virtual std::uint64_t NowMs() const = 0;
};

// CLOCK_MONOTONIC (std::chrono::steady_clock).
class SteadyMilliClock : public MilliClock {
 public:
  std::uint64_t NowMs() const override;
};

// A clock that moves only when told to. Thread-safe.
class FakeClock : public MilliClock {
 public:
  explicit FakeClock(std::uint64_t startMs = 1000) : now_(startMs) {}
  std::uint64_t NowMs() const override { return now_.load(); }
  void Advance(std::uint64_t ms) { now_ += ms; }
  void Set(std::uint64_t ms) { now_ = ms; }

 private:
  std::atomic<std::uint64_t> now_;
};

class ScopedEnv;

// The clock of TimerStart/TimerTimeout: the timer clock of the process's
// environment (platform/Env.h).
const MilliClock& ProcessClock();

// Installs a FakeClock as the timer clock for the lifetime of the object
// (tests), then puts the previous one back.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(std::uint64_t startMs = 1000);
  ~ScopedFakeClock();
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;
  FakeClock& operator*() const { return *clock_; }
  FakeClock* operator->() const { return clock_.get(); }

 private:
  std::shared_ptr<FakeClock> clock_;
  std::unique_ptr<ScopedEnv> env_;
};

// Largest duration TimerStart honours; longer ones are cut to it so the signed
// difference stays meaningful.
inline constexpr std::uint32_t kTimerMaxMs = 0x7FFFFFFF;

// Pure forms on an explicit clock reading, for code that keeps its own clock.
TimerValue TimerValueAt(std::uint64_t nowMs, std::uint32_t ms);
bool TimerValueReached(std::uint64_t nowMs, TimerValue timer);

// The moment `ms` milliseconds ahead of now; TimerStart(0) is now. Never 0.
TimerValue TimerStart(std::uint32_t ms);
// Nonzero once the moment has been reached. A timer value of 0 (no timer)
// never runs out; callers test for 0 first.
int TimerTimeout(TimerValue timer);
// Signed milliseconds from a to b (b - a).
std::int32_t TimerDifference(TimerValue a, TimerValue b);

}  // namespace meldrix
