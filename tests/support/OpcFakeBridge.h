// A stand-in for the OPC UA bridge program, in this process: the client gets
// one end of a socketpair, a thread on the other end answers each request
// line by a script and records it. Tests push data changes and lost
// sessions, and make the bridge end or misbehave. No Node.js needed.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "opc/OpcBridge.h"
#include "opc/OpcBridgeLine.h"
#include "platform/ChildChannel.h"
#include "support/WaitUntil.h"

namespace meldrix::testing {

class OpcFakeBridge {
 public:
  // The fields of a request without its id -> the reply's fields after the
  // id ({"ok", ...} or {"err", kind, detail}); nullopt: no reply at all.
  using Script = std::function<std::optional<std::vector<std::string>>(const std::vector<std::string>&)>;

  explicit OpcFakeBridge(Script script = {}) : script_(script ? std::move(script) : DefaultScript()) {}
  ~OpcFakeBridge() { End(); }

  // What the client is given to start a bridge with.
  COpcBridge::Launcher Launcher() {
    return [this]() -> ChildChannel {
      ++launches_;
      if (!canStart_) return ChildChannel();
      End();
      int ends[2];
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return ChildChannel();
      if (endsAtStart_) {  // as a bridge that cannot load its modules
        ::close(ends[1]);
        return ChildChannel::Adopt(ends[0]);
      }
      {
        std::lock_guard lock(mutex_);
        fd_ = ends[1];
      }
      thread_ = std::thread([this, fd = ends[1]] { Serve(fd); });
      Push({"ready", "fake"});
      return ChildChannel::Adopt(ends[0]);
    };
  }

  void SetCanStart(bool can) { canStart_ = can; }
  void SetEndsAtStart(bool ends) { endsAtStart_ = ends; }
  void SetScript(Script script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
  }
  int Launches() const { return launches_; }

  // The requests so far (fields without the id), in order.
  std::vector<std::vector<std::string>> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::vector<std::vector<std::string>> RequestsOf(const std::string& verb) const {
    std::vector<std::vector<std::string>> found;
    for (auto& r : Requests())
      if (!r.empty() && r[0] == verb) found.push_back(r);
    return found;
  }

  // A message of the bridge's own ("0" is put in front).
  void Push(std::vector<std::string> fields) {
    fields.insert(fields.begin(), "0");
    SendRaw(JoinBridgeFields(fields));
  }
  void SendRaw(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // The bridge ends: its end of the socket closes.
  void End() {
    {
      std::lock_guard lock(mutex_);
      if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Answers connect, add and write with "ok", read with `value`, Good and a
  // fixed time; an add answers with the item id as node id.
  static Script DefaultScript(std::string value = "7") {
    return [value](const std::vector<std::string>& r) -> std::optional<std::vector<std::string>> {
      if (r[0] == "read") return std::vector<std::string>{"ok", value, "0", "1700000000000"};
      if (r[0] == "add") return std::vector<std::string>{"ok", r.size() > 3 ? r[3] : ""};
      return std::vector<std::string>{"ok"};
    };
  }

 private:
  void Serve(int fd) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<std::size_t>(n));
      for (std::size_t at; (at = buffer.find('\n')) != std::string::npos;) {
        auto fields = SplitBridgeLine(std::string_view(buffer).substr(0, at));
        buffer.erase(0, at + 1);
        const std::string id = fields.front();
        fields.erase(fields.begin());
        Script script;
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(fields);
          script = script_;
        }
        if (auto reply = script(fields)) {
          reply->insert(reply->begin(), id);
          SendRaw(JoinBridgeFields(*reply));
        }
      }
    }
  }

  mutable std::mutex mutex_;
  Script script_;
  std::vector<std::vector<std::string>> requests_;
  int fd_ = -1;
  std::thread thread_;
  std::atomic<int> launches_{0};
  std::atomic<bool> canStart_{true}, endsAtStart_{false};
};

}  // namespace meldrix::testing
