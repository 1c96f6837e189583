// Waiting for something another thread or process does, with a deadline.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace meldrix::testing {

inline constexpr auto kWaitTimeout = std::chrono::seconds(20);

// Polls `condition` every few milliseconds until it holds or `timeout` passes;
// the last answer of `condition`.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = kWaitTimeout,
                      std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(interval);
  }
  return condition();
}

}  // namespace meldrix::testing
