#include "sources/SocketBufferList.h"

#include "util/Trace.h"

namespace meldrix {

bool CSocketBufferList::Append(const char* data, std::size_t length) {
  if (length == 0) return true;
  std::unique_lock lock(mutex_);
  // A block larger than the whole budget still goes in once the list is empty.
  roomFreed_.wait(lock, [&] { return shutDown_ || bytes_ == 0 || bytes_ + length <= maxBytes_; });
  if (shutDown_) return false;
  blocks_.push_back(Block{std::string(data, length), false});
  bytes_ += length;
  return true;
}

void CSocketBufferList::AppendReceiveError() {
  std::lock_guard lock(mutex_);
  if (!shutDown_) blocks_.push_back(Block{{}, true});
}

CSocketBufferList::PollResult CSocketBufferList::ProcessFirst(const std::function<bool(char)>& step) {
  Block block;
  {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) return PollResult::Empty;
    block = std::move(blocks_.front());
    blocks_.pop_front();
  }
  if (block.error || block.bytes.empty()) {
    TraceMessage(kTraceSocketErrors, "Socket receive error\n");
    return PollResult::ReceiveError;
  }
  const bool traceBytes = (GetTraceMask() & kTraceProtocolBytes) != 0;
  std::size_t used = 0;
  bool more = true;
  while (more && used < block.bytes.size()) {
    const char c = block.bytes[used++];
    if (traceBytes) TraceBytes(false, static_cast<unsigned char>(c));
    more = step(c);
  }
  std::lock_guard lock(mutex_);
  if (used < block.bytes.size()) {
    // The poll stopped early: the rest is the oldest data and goes first.
    block.bytes.erase(0, used);
    blocks_.push_front(std::move(block));
  }
  bytes_ -= used;
  roomFreed_.notify_all();
  return PollResult::Processed;
}

void CSocketBufferList::Shutdown() {
  std::lock_guard lock(mutex_);
  shutDown_ = true;
  roomFreed_.notify_all();
}

void CSocketBufferList::Reopen() {
  std::lock_guard lock(mutex_);
  shutDown_ = false;
}

std::size_t CSocketBufferList::BlockCount() const {
  std::lock_guard lock(mutex_);
  return blocks_.size();
}

std::size_t CSocketBufferList::ByteCount() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace meldrix
