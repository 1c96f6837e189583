// Shared pieces of the fuzz targets: a quiet, fixed environment (no message
// box waits for anyone, the clocks stand still so a run repeats exactly) and
// the way settings are taken from the first bytes of an input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// How often each limit of a parser was met. With FUZZ_LIMITS set in the
// environment, the counts are printed when the process ends, so a replay of
// the corpus (scripts/fuzz --limits) shows which limits its inputs meet.
class LimitCounts {
 public:
  static void Met(const char* limit) { Instance().counts_[limit]++; }
  // Names a limit before any input runs, so a limit never met prints 0.
  static void Watch(const char* limit) { Instance().counts_.emplace(limit, 0); }

 private:
  LimitCounts() = default;
  static LimitCounts& Instance() {
    // Registered after the object is made, so the handler runs before it goes.
    static LimitCounts counts;
    static const bool printing = std::getenv("FUZZ_LIMITS") && std::atexit(Print) == 0;
    (void)printing;
    return counts;
  }
  static void Print() {
    for (const auto& [name, count] : Instance().counts_)
      std::fprintf(stderr, "LIMIT %s: %llu\n", name.c_str(), static_cast<unsigned long long>(count));
  }
  std::map<std::string, std::uint64_t> counts_;
};

}  // namespace meldrix::fuzz
