// The engine's queue of mail lines: the SMTP sink's connection threads append
// the lines of each received mail, the main thread takes them oldest first in
// the delivery step.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace meldrix {

// Lines waiting beyond this mean the engine cannot keep up (Korvane hangs,
// a mail flood); the sink then refuses mails with a temporary error so their
// senders retry, instead of the queue growing without bound.
inline constexpr std::size_t kMailLineQueueCapacity = 100000;

class CMailLineQueue {
 public:
  explicit CMailLineQueue(std::size_t capacity = kMailLineQueueCapacity) : capacity_(capacity) {}

  // False (nothing queued) when the queue is full.
  bool Append(std::string line);
  // All lines of one mail at once, so lines of two mails never interleave;
  // all or nothing: false when they do not fit.
  bool AppendAll(std::vector<std::string> lines);
  std::optional<std::string> TakeOldest();
  std::size_t Size() const;
  bool Empty() const;

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
};

}  // namespace meldrix
