// Call information from a telephone router's call monitor: a TCP line
// protocol, one event per line, fields separated by ";", e.g.
//   06.12.26 14:31:05;RING;0;0711123456;0711987654;SIP0;
// (date and time, event, connection id, calling number, called number,
// line). Each RING is an incoming call; CALL, CONNECT and DISCONNECT are not
// reported. The connection is kept open and made again after a failure.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/EventLoop.h"
#include "platform/TcpSocket.h"

namespace meldrix {

struct CallMonitorEndpoint {
  std::string host;
  std::uint16_t port = 0;
  std::string Describe() const { return host + ":" + std::to_string(port); }
};

// "tcp:HOST:PORT" (surrounding blanks ignored); nothing for any other form
// or a port outside 1..65535.
std::optional<CallMonitorEndpoint> ParseCallMonitorEndpoint(std::string_view value);

struct CallMonitorRing {
  std::string calling;  // empty when the caller suppresses the number
  std::string called;
};

// A RING line gives its two numbers; every other line nothing.
std::optional<CallMonitorRing> ParseCallMonitorLine(std::string_view line);

// Cuts received bytes into lines at LF (a CR before it is dropped). A line
// longer than kMaxLine bytes is dropped whole, up to its end, so a peer that
// never ends its line cannot make the buffer grow.
class CallMonitorLineSplitter {
 public:
  static constexpr std::size_t kMaxLine = 4096;

  // Calls onLine for each completed line; returns how many overlong lines
  // were dropped by this call.
  std::size_t Feed(std::string_view bytes, const std::function<void(std::string_view)>& onLine);
  // Forgets an unfinished line (a new connection starts clean).
  void Reset();

 private:
  std::string partial_;
  bool discarding_ = false;
};

// The connection to one call monitor on the event loop: a non-blocking
// socket watched by the loop, reconnection by the loop's timers. After a
// failure the pause before the next attempt grows from 1 s to 60 s; it
// starts again at 1 s once a connection has delivered a line or held for the
// longest pause. The first failure after a working connection (or at start)
// and the recovery are logged once each.
class CCallMonitor {
 public:
  using CallHandler = std::function<void(const CallMonitorRing&)>;
  // error: the line reports a failure (shown in red).
  using LogHandler = std::function<void(const std::string& text, bool error)>;

  static constexpr std::uint32_t kFirstPauseMs = 1000;
  static constexpr std::uint32_t kLongestPauseMs = 60000;
  static constexpr std::uint32_t kConnectTimeoutMs = 10000;

  // Connects at once (without waiting for the peer).
  CCallMonitor(EventLoop& loop, CallMonitorEndpoint endpoint, CallHandler onCall, LogHandler log);
  ~CCallMonitor();
  CCallMonitor(const CCallMonitor&) = delete;
  CCallMonitor& operator=(const CCallMonitor&) = delete;

  const CallMonitorEndpoint& Endpoint() const { return endpoint_; }
  bool Connected() const { return connected_; }
  // The pause before the next attempt after a failure now.
  std::uint32_t NextPauseMs() const { return pauseMs_; }

 private:
  void Connect();
  void OnConnectProgress();
  void OnReadable();
  void Fail(const std::string& why);
  void Drop();

  EventLoop& loop_;
  CallMonitorEndpoint endpoint_;
  CallHandler onCall_;
  LogHandler log_;
  TcpSocket socket_;
  EventLoop::WatchId watch_ = 0;
  EventLoop::TimerId timer_ = 0;  // the connect time-out or the next attempt
  CallMonitorLineSplitter splitter_;
  bool connected_ = false;
  bool everConnected_ = false;
  bool failureReported_ = false;
  bool gotLine_ = false;
  std::chrono::steady_clock::time_point connectedAt_;
  std::uint32_t pauseMs_ = kFirstPauseMs;
};

}  // namespace meldrix
