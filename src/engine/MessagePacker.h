// Packing: texts of one source to the same receivers wait and go to Korvane
// together, joined by a blank, as long as they stay below MaxPackedLength.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Timer.h"

namespace meldrix {

// A packed message waits this long for more texts to the same receivers.
inline constexpr std::uint32_t kPackTimeoutMs = 10000;

class CMessagePacker {
 public:
  // Sends one text to receivers; true when Korvane accepted it.
  using SendFunction = std::function<bool(const std::string& receivers, const std::string& text)>;

  // One matched text. Waiting text to the same receivers that fits together
  // with it below `maxPackedLength` is joined with it; any other waiting
  // text is sent first. With `pack` the result waits (the pack timer starts
  // anew), else it is sent at once. False when a send failed; what waited is
  // given up after its send either way.
  bool Add(const std::string& receivers, const std::string& text, bool pack, long maxPackedLength,
           const SendFunction& send);
  // Sends what waits, if anything, and clears it whatever the send gives.
  void Flush(const SendFunction& send);
  // Flush once the pack timer has run out.
  void FlushWhenDue(const SendFunction& send);

  bool HasPackedMessage() const { return !receivers_.empty(); }
  const std::string& Receivers() const { return receivers_; }
  const std::string& Text() const { return text_; }
  TimerValue Timer() const { return timer_; }
  void Clear();

 private:
  std::string receivers_;
  std::string text_;
  TimerValue timer_ = 0;  // 0 while nothing waits
};

}  // namespace meldrix
