// Shared pieces of the fuzz targets: a quiet, fixed environment (no message
// box waits for anyone, the clocks stand still so a run repeats exactly) and
// the way settings are taken from the first bytes of an input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/LocaleInfo.h"
#include "platform/Timer.h"
#include "platform/UserInterface.h"

namespace meldrix::fuzz {

// Answers every message box with its default button, silently.
class QuietUi : public UserInterface {
 public:
  int MessageBox(const std::string&, const std::string&, unsigned style) override {
    return DefaultButtonOf(style);
  }
};

// 2026-12-07 01:00:00 UTC, one hour east of UTC.
inline constexpr std::int64_t kFixedUtcSeconds = 1796605200;

// Installs the fuzzing environment once for the whole process: a quiet user
// interface, a German locale, a standing wall clock and a timer clock that
// moves only when a target advances it.
inline FakeClock& InstallEnv() {
  static auto timerClock = std::make_shared<FakeClock>(1000);
  static ScopedEnv env(Env{.ui = std::make_shared<QuietUi>(),
                           .locale = FixedLocaleInfo::German(),
                           .timerClock = timerClock,
                           .clock = std::make_shared<FixedClock>(kFixedUtcSeconds, 3600)});
  return *timerClock;
}

}  // namespace meldrix::fuzz
