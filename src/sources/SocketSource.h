// The socket kind of message source: other programs connect to the source's
// port and write message text. Every block read from any connection is
// appended to the source's buffer list; the source's poll takes them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sources/SocketBufferList.h"
#include "sources/SocketListener.h"

namespace meldrix {

// One accepted connection of a socket source. Connections are never
// answered and stay open until the peer closes or stays silent for the idle
// time (0 = no limit).
class CSocketSource : public CSocketServer {
 public:
  CSocketSource(CSocketBufferList& buffers, int idleTimeoutMs)
      : buffers_(buffers), idleTimeoutMs_(idleTimeoutMs) {}
  void OnBytesReceived(const char* data, std::size_t length) override;
  void OnReceiveError(int error) override;
  int TimeLeftMs() const override;

 private:
  CSocketBufferList& buffers_;
  int idleTimeoutMs_;
  std::chrono::steady_clock::time_point lastReceived_ = std::chrono::steady_clock::now();
};

// The listener and the buffer list a socket source owns.
class CSocketSourceListener {
 public:
  static constexpr std::size_t kMaxConnections = 256;

  explicit CSocketSourceListener(std::size_t maxBufferedBytes = CSocketBufferList::kDefaultMaxBytes,
                                 std::size_t maxConnections = kMaxConnections);
  ~CSocketSourceListener();

  // Listens on port (0 = a free port, see Port()); false with error (errno)
  // when it cannot. A connection silent for idleTimeoutMs is closed (0 = no
  // limit).
  bool Start(std::uint16_t port, int& error, int idleTimeoutMs = 0);
  // Closes the port and every connection. Blocks not yet polled stay in the
  // list and are delivered when the source is opened again.
  void Stop();

  // One poll: the oldest block goes byte by byte to step (see
  // CSocketBufferList::ProcessFirst); a receive error entry is traced.
  CSocketBufferList::PollResult Poll(const std::function<bool(char)>& step) { return buffers_.ProcessFirst(step); }

  bool IsRunning() const { return listener_.IsRunning(); }
  std::uint16_t Port() const { return listener_.Port(); }
  std::size_t ConnectionCount() const { return listener_.ConnectionCount(); }
  CSocketBufferList& Buffers() { return buffers_; }
  // Log lines of the connection threads (refused peers) since the last call;
  // the owner shows them on its own thread.
  std::vector<std::string> TakeLogLines();

 private:
  CSocketBufferList buffers_;
  std::atomic<int> idleTimeoutMs_{0};
  std::mutex logMutex_;
  std::vector<std::string> logLines_;
  CSocketListener listener_;
};

}  // namespace meldrix
