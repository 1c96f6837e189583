// The wall clock and the local time zone, behind an interface so tests can fix
// both. The process-wide clock is the system's unless replaced (tests).
#pragma once

#include <cstdint>
#include <memory>

namespace meldrix {

class Clock {
 public:
  virtual ~Clock() = default;
  // Current clock time: seconds since 1 January 1970 UTC.
  virtual std::int64_t NowUtcSeconds() const = 0;
  // Local time minus UTC, in seconds, at the given instant (daylight saving
  // included); 0 for an instant the zone cannot convert.
  virtual int UtcOffsetSeconds(std::int64_t utcSeconds) const = 0;
};

// The system clock and the TZ rules of the environment (localtime_r).
class SystemClock : public Clock {
 public:
  std::int64_t NowUtcSeconds() const override;
  int UtcOffsetSeconds(std::int64_t utcSeconds) const override;
};

// A clock standing at a set instant, in a zone with a fixed UTC offset.
class FixedClock : public Clock {
 public:
  FixedClock(std::int64_t utcSeconds, int utcOffsetSeconds = 0)
      : now_(utcSeconds), offset_(utcOffsetSeconds) {}
  std::int64_t NowUtcSeconds() const override { return now_; }
  int UtcOffsetSeconds(std::int64_t) const override { return offset_; }

 private:
  std::int64_t now_;
  int offset_;
};

// The clock of the process's environment (platform/Env.h).
const Clock& CurrentClock();

// Shorthands on the process-wide clock.
std::int64_t CurrentClockTime();
// Local wall-clock time as seconds since 1970-01-01 00:00 (local, not UTC).
std::int64_t UtcToLocalSeconds(std::int64_t utcSeconds);
int LocalUtcOffset();

}  // namespace meldrix
