// COpcBridge: the OPC UA bridge process of one OPC client and the traffic
// with it. Requests block the caller up to a limit; a reader thread takes the
// replies and hands the bridge's own messages (data changes, lost sessions)
// to a handler. A bridge that ends or misbehaves is dropped; the next use
// starts a new one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildChannel.h"

namespace meldrix {

struct OpcBridgeReply {
  bool ok = false;
  // Empty when ok; "timeout" when no reply came in time, "gone" when the
  // bridge ended; else the bridge's kind of failure (see the bridge).
  std::string kind;
  // After "ok" the reply's fields; after a failure its detail text.
  std::vector<std::string> fields;
  std::string Detail() const { return fields.empty() ? std::string() : fields.front(); }
};

class COpcBridge {
 public:
  // Starts a bridge process (or a fake); a channel that is not started
  // means it cannot be loaded.
  using Launcher = std::function<ChildChannel()>;
  // The fields after the leading "0" of a message of the bridge's own; on
  // the reader thread. {"gone"} when the bridge ended.
  using MessageHandler = std::function<void(const std::vector<std::string>&)>;

  COpcBridge(Launcher launcher, MessageHandler handler,
             std::chrono::milliseconds startLimit = std::chrono::seconds(10));
  ~COpcBridge();
  COpcBridge(const COpcBridge&) = delete;
  COpcBridge& operator=(const COpcBridge&) = delete;

  // Starts the bridge unless it runs; true once it said it is ready.
  bool EnsureRunning();
  // Counts the bridges started: a session belongs to the bridge that made it.
  std::uint64_t Generation() const;
  bool Running() const;
  OpcBridgeReply Request(std::vector<std::string> fields, std::chrono::milliseconds limit);
  // Ends the bridge (it closes its sessions) and waits for it.
  void Stop();

 private:
  void ReadLoop(int fd, std::uint64_t generation);
  void Drop(std::unique_lock<std::mutex>& lock);
  // Drops the bridge and waits for its reader to end. Returns holding the
  // send lock (so nothing goes to the old channel) and `lock` again.
  std::unique_lock<std::mutex> DropAndJoinReader(std::unique_lock<std::mutex>& lock);
  bool SendLine(int fd, const std::string& line, std::chrono::steady_clock::time_point deadline);

  Launcher launcher_;
  MessageHandler handler_;
  std::chrono::milliseconds startLimit_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::mutex sendMutex_;
  ChildChannel channel_;
  std::thread reader_;
  std::uint64_t generation_ = 0;
  bool running_ = false;  // started and ready, not yet ended
  bool ready_ = false;
  std::uint64_t nextId_ = 1;
  struct Slot {
    bool answered = false;
    OpcBridgeReply reply;
  };
  std::map<std::uint64_t, Slot*> waiting_;  // requests of this bridge still without reply
};

}  // namespace meldrix
