// Helpers for the tests that talk to real sockets on 127.0.0.1.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sources/SmtpSinkInterfaces.h"
#include "sources/SocketClient.h"

namespace meldrix::testing {

// Reads from client until text ends with terminator or the time is up.
inline std::string ReadUntil(CSocketClient& client, const std::string& terminator,
                             std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  std::string all;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::string piece;
    if (client.Receive(piece) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if ((all += piece).ends_with(terminator)) break;
  }
  return all;
}

// The engine's side of the SMTP sink: records lines and variables.
class RecordingMailEngine : public IMailLineSink, public IMailVariableSetter {
 public:
  bool IsProcessingActive() const override { return active; }
  bool QueueMailLines(std::vector<std::string> texts) override {
    std::lock_guard lock(mutex_);
    if (refuse) return false;
    for (std::string& text : texts) lines_.push_back(std::move(text));
    return true;
  }
  void SetVariable(const std::string& name, const std::string& value) override {
    std::lock_guard lock(mutex_);
    variables_[name] = value;
  }

  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::string Variable(const std::string& name) {
    std::lock_guard lock(mutex_);
    return variables_[name];
  }

  bool active = true;
  std::atomic<bool> refuse{false};  // QueueMailLines answers "full"

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::map<std::string, std::string> variables_;
};

}  // namespace meldrix::testing
