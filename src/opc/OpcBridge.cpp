#include "opc/OpcBridge.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "opc/OpcBridgeLine.h"

namespace meldrix {
namespace {

constexpr auto kPingLimit = std::chrono::seconds(2);

}  // namespace

COpcBridge::COpcBridge(Launcher launcher, MessageHandler handler, std::chrono::milliseconds startLimit)
    : launcher_(std::move(launcher)), handler_(std::move(handler)), startLimit_(startLimit) {}

COpcBridge::~COpcBridge() { Stop(); }

std::uint64_t COpcBridge::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

bool COpcBridge::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

// Marks the bridge gone: every waiting request fails, the reader ends at its
// next read. The process itself is reaped by the next start or Stop.
void COpcBridge::Drop(std::unique_lock<std::mutex>&) {
  running_ = false;
  if (channel_.Started()) ::shutdown(channel_.Fd(), SHUT_RDWR);
  for (auto& [id, slot] : waiting_) {
    slot->answered = true;
    slot->reply.kind = "gone";
  }
  waiting_.clear();
  changed_.notify_all();
}

std::unique_lock<std::mutex> COpcBridge::DropAndJoinReader(std::unique_lock<std::mutex>& lock) {
  Drop(lock);
  // The reader ends at the shut-down socket.
  std::thread old = std::move(reader_);
  lock.unlock();
  if (old.joinable()) old.join();
  std::unique_lock sending(sendMutex_);
  lock.lock();
  return sending;
}

bool COpcBridge::EnsureRunning() {
  std::unique_lock lock(mutex_);
  if (running_) return true;
  const auto sending = DropAndJoinReader(lock);  // the previous bridge, if any
  if (running_) return true;  // another thread started one meanwhile
  channel_.Stop(std::chrono::milliseconds(0));
  channel_ = launcher_ ? launcher_() : ChildChannel();
  if (!channel_.Started()) return false;
  ++generation_;
  ready_ = false;
  running_ = true;
  reader_ = std::thread(&COpcBridge::ReadLoop, this, channel_.Fd(), generation_);
  if (!changed_.wait_for(lock, startLimit_, [this] { return ready_ || !running_; }) || !running_) {
    Drop(lock);
    return false;
  }
  return true;
}

bool COpcBridge::SendLine(int fd, const std::string& line, std::chrono::steady_clock::time_point deadline) {
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return true;
}

OpcBridgeReply COpcBridge::Request(std::vector<std::string> fields, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  Slot slot;
  std::unique_lock lock(mutex_);
  if (!running_) return OpcBridgeReply{false, "gone", {}};
  const std::uint64_t id = nextId_++;
  fields.insert(fields.begin(), std::to_string(id));
  const std::string line = JoinBridgeFields(fields);
  if (line.size() > kOpcBridgeMaxLine) return OpcBridgeReply{false, "request", {"request too long"}};
  waiting_[id] = &slot;
  const int fd = channel_.Fd();
  lock.unlock();
  bool sent;
  {
    std::lock_guard sending(sendMutex_);
    sent = SendLine(fd, line, deadline);
  }
  lock.lock();
  if (!sent) {
    // A bridge that takes no requests is of no use: it is dropped, and with
    // it this request.
    if (waiting_.count(id)) Drop(lock);
  } else {
    changed_.wait_until(lock, deadline, [&] { return slot.answered; });
  }
  waiting_.erase(id);
  if (slot.answered) return slot.reply;
  lock.unlock();
  // A slow server is no fault of the bridge, a bridge that answers nothing
  // at all is: it is dropped and started anew at the next use.
  if (fields[1] != "ping" && !Request({"ping"}, kPingLimit).ok) {
    lock.lock();
    if (running_ && channel_.Fd() == fd) Drop(lock);
  }
  return OpcBridgeReply{false, "timeout", {}};
}

void COpcBridge::ReadLoop(int fd, std::uint64_t generation) {
  std::string buffer;
  char chunk[8192];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    buffer.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0, end;
    bool misbehaved = false;
    while ((end = buffer.find('\n', start)) != std::string::npos) {
      auto fields = SplitBridgeLine(std::string_view(buffer).substr(start, end - start));
      start = end + 1;
      if (fields.size() < 2) {
        misbehaved = true;
        break;
      }
      if (fields[0] == "0") {
        fields.erase(fields.begin());
        if (fields[0] == "ready") {
          std::lock_guard lock(mutex_);
          if (generation_ == generation) ready_ = true;
          changed_.notify_all();
        } else if (handler_) {
          handler_(fields);
        }
        continue;
      }
      std::lock_guard lock(mutex_);
      const auto id = std::strtoull(fields[0].c_str(), nullptr, 10);
      auto it = waiting_.find(id);
      if (it == waiting_.end()) continue;  // too late: its caller gave up
      Slot& slot = *it->second;
      slot.reply.ok = fields[1] == "ok";
      if (!slot.reply.ok) slot.reply.kind = fields[1] == "err" && fields.size() > 2 ? fields[2] : "request";
      const std::size_t first = slot.reply.ok ? 2 : std::min<std::size_t>(3, fields.size());
      slot.reply.fields.assign(fields.begin() + static_cast<std::ptrdiff_t>(first), fields.end());
      slot.answered = true;
      waiting_.erase(it);
      changed_.notify_all();
    }
    buffer.erase(0, start);
    if (misbehaved || buffer.size() > kOpcBridgeMaxLine) break;
  }
  std::unique_lock lock(mutex_);
  const bool current = generation_ == generation;
  if (current) Drop(lock);
  lock.unlock();
  if (current && handler_) handler_({"gone"});
}

void COpcBridge::Stop() {
  std::unique_lock lock(mutex_);
  const auto sending = DropAndJoinReader(lock);
  // Closing our end lets the bridge close its sessions and end by itself.
  channel_.Stop(std::chrono::seconds(3));
}

}  // namespace meldrix
