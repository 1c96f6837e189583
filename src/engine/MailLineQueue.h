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

// Lines or bytes waiting beyond these mean the engine cannot keep up
// (Korvane hangs, a mail flood); the sink then refuses mails with a
// temporary error so their senders retry, instead of the queue growing
// without bound. Bytes matter as much as lines: with PackBody one line is a
// whole mail of up to 10 MiB.
inline constexpr std::size_t kMailLineQueueCapacity = 100000;
inline constexpr std::size_t kMailLineQueueMaxBytes = 32 * 1024 * 1024;

class CMailLineQueue {
 public:
  explicit CMailLineQueue(std::size_t capacity = kMailLineQueueCapacity,
                          std::size_t maxBytes = kMailLineQueueMaxBytes)
      : capacity_(capacity), maxBytes_(maxBytes) {}

  // False (nothing queued) when the queue is full.
  bool Append(std::string line);
  // All lines of one mail at once, so lines of two mails never interleave;
  // all or nothing: false when they do not fit. An empty queue takes any
  // mail, so one larger than the byte bound is not refused for ever.
  bool AppendAll(std::vector<std::string> lines);
  std::optional<std::string> TakeOldest();
  std::size_t Size() const;
  std::size_t Bytes() const;
  bool Empty() const;

 private:
  bool Fits(std::size_t lines, std::size_t bytes) const;

  const std::size_t capacity_;
  const std::size_t maxBytes_;
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  std::size_t bytes_ = 0;
};

}  // namespace meldrix
