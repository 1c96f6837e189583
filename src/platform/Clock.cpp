#include "platform/Clock.h"

#include "platform/Env.h"

#include <time.h>

#include <chrono>
#include <mutex>
#include <vector>

namespace meldrix {

std::int64_t SystemClock::NowUtcSeconds() const {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

int SystemClock::UtcOffsetSeconds(std::int64_t utcSeconds) const {
  const time_t t = static_cast<time_t>(utcSeconds);
  struct tm local {};
  if (!localtime_r(&t, &local)) return 0;
  return static_cast<int>(local.tm_gmtoff);
}

const Clock& CurrentClock() { return *ProcessEnv().clock; }

std::int64_t CurrentClockTime() { return CurrentClock().NowUtcSeconds(); }

std::int64_t UtcToLocalSeconds(std::int64_t utcSeconds) {
  return utcSeconds + CurrentClock().UtcOffsetSeconds(utcSeconds);
}

int LocalUtcOffset() {
  const Clock& clock = CurrentClock();
  return clock.UtcOffsetSeconds(clock.NowUtcSeconds());
}

}  // namespace meldrix
