#include "engine/MessagePacker.h"

namespace meldrix {

void CMessagePacker::Clear() {
  receivers_.clear();
  text_.clear();
  timer_ = 0;
}

bool CMessagePacker::Add(const std::string& receivers, const std::string& text, bool pack,
                         long maxPackedLength, const SendFunction& send) {
  bool ok = true;
  std::string joined = text;
  if (HasPackedMessage()) {
    // Below MaxPackedLength together (the joining blank not counted).
    const bool joins = receivers_ == receivers &&
                       static_cast<long long>(text_.size() + text.size()) < maxPackedLength;
    if (joins)
      joined = text_ + " " + text;
    else
      ok = send(receivers_, text_);
    Clear();
  }
  if (!pack) return send(receivers, joined) && ok;
  receivers_ = receivers;
  text_ = std::move(joined);
  timer_ = TimerStart(kPackTimeoutMs);
  return ok;
}

void CMessagePacker::Flush(const SendFunction& send) {
  if (!HasPackedMessage()) {
    Clear();
    return;
  }
  // Taken out first: the waiting state is cleared whether the send succeeds
  // or not.
  std::string receivers = std::move(receivers_);
  std::string text = std::move(text_);
  Clear();
  send(receivers, text);
}

void CMessagePacker::FlushWhenDue(const SendFunction& send) {
  if (timer_ != 0 && TimerTimeout(timer_)) Flush(send);
}

}  // namespace meldrix
