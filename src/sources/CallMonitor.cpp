#include "sources/CallMonitor.h"

#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/TcpAsyncConnect.h"

namespace meldrix {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  while (true) {
    const auto at = line.find(';');
    fields.push_back(line.substr(0, at));
    if (at == std::string_view::npos) return fields;
    line.remove_prefix(at + 1);
  }
}

std::string ConnectFailureText(TcpConnectFailure failure, int error) {
  if (failure == TcpConnectFailure::Resolve)
    return std::string("host not found: ") + (error == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(error));
  return std::strerror(error);
}

}  // namespace

std::optional<CallMonitorEndpoint> ParseCallMonitorEndpoint(std::string_view value) {
  value = Trim(value);
  if (value.substr(0, 4) != "tcp:") return std::nullopt;
  value.remove_prefix(4);
  const auto colon = value.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::string_view portText = value.substr(colon + 1);
  if (portText.empty() || portText.size() > 5 ||
      !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const int port = std::stoi(std::string(portText));
  if (port < 1 || port > 65535) return std::nullopt;
  return CallMonitorEndpoint{std::string(value.substr(0, colon)), static_cast<std::uint16_t>(port)};
}

std::optional<CallMonitorRing> ParseCallMonitorLine(std::string_view line) {
  const auto fields = SplitFields(line);
  // date;RING;id;calling;called;line — the line field may be missing.
  if (fields.size() < 5 || Trim(fields[1]) != "RING") return std::nullopt;
  return CallMonitorRing{std::string(Trim(fields[3])), std::string(Trim(fields[4]))};
}

std::size_t CallMonitorLineSplitter::Feed(std::string_view bytes,
                                         const std::function<void(std::string_view)>& onLine) {
  std::size_t dropped = 0;
  while (!bytes.empty()) {
    const auto end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!discarding_) {
      // Room for one more byte: the CR before the LF.
      if (partial_.size() + piece.size() > kMaxLine + 1) {
        partial_.clear();
        discarding_ = true;
        ++dropped;
      } else {
        partial_.append(piece);
      }
    }
    if (end == std::string_view::npos) break;
    if (!discarding_) {
      if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
      if (partial_.size() <= kMaxLine) onLine(partial_);
      else ++dropped;
    }
    partial_.clear();
    discarding_ = false;
    bytes.remove_prefix(end + 1);
  }
  return dropped;
}

void CallMonitorLineSplitter::Reset() {
  partial_.clear();
  discarding_ = false;
}

CCallMonitor::CCallMonitor(EventLoop& loop, CallMonitorEndpoint endpoint, CallHandler onCall,
                           LogHandler log)
    : loop_(loop), endpoint_(std::move(endpoint)), onCall_(std::move(onCall)), log_(std::move(log)) {
  Connect();
}

CCallMonitor::~CCallMonitor() {
  Drop();
  loop_.CancelTimer(timer_);
}

void CCallMonitor::Drop() {
  if (watch_) loop_.Unwatch(watch_);
  watch_ = 0;
  socket_.Close();
  connected_ = false;
}

void CCallMonitor::Connect() {
  timer_ = 0;
  TcpConnectFailure failure = TcpConnectFailure::None;
  int error = 0;
  socket_ = TcpStartConnect(endpoint_.host, endpoint_.port, failure, error);
  if (!socket_.IsOpen()) {
    Fail(ConnectFailureText(failure, error));
    return;
  }
  watch_ = loop_.Watch(socket_.Fd(), POLLOUT, [this](short) { OnConnectProgress(); });
  // A peer that never answers would leave the connect pending for minutes.
  timer_ = loop_.StartTimer(kConnectTimeoutMs, [this] {
    timer_ = 0;
    Fail(std::strerror(ETIMEDOUT));
  });
}

void CCallMonitor::OnConnectProgress() {
  if (const int error = TcpConnectOutcome(socket_); error != 0) {
    Fail(std::strerror(error));
    return;
  }
  loop_.CancelTimer(timer_);
  timer_ = 0;
  loop_.Unwatch(watch_);
  watch_ = loop_.Watch(socket_.Fd(), POLLIN, [this](short) { OnReadable(); });
  connected_ = true;
  gotLine_ = false;
  connectedAt_ = std::chrono::steady_clock::now();
  splitter_.Reset();
  if (failureReported_ && everConnected_)
    log_("ISDN call monitor " + endpoint_.Describe() + ": connected again", false);
  else if (failureReported_)
    log_("ISDN call monitor " + endpoint_.Describe() + ": connected", false);
  failureReported_ = false;
  everConnected_ = true;
}

void CCallMonitor::OnReadable() {
  char buffer[4096];
  // A bounded number of reads per wake-up: a chatty peer must not starve the
  // loop's other work.
  for (int round = 0; round < 16; ++round) {
    int error = 0;
    const long got = TcpReceive(socket_, buffer, sizeof buffer, error);
    if (got == 0) {
      Fail("closed by the peer");
      return;
    }
    if (got < 0) {
      if (error != EAGAIN) Fail(std::strerror(error));
      return;
    }
    const std::size_t dropped = splitter_.Feed(std::string_view(buffer, static_cast<std::size_t>(got)),
                                               [this](std::string_view line) {
                                                 gotLine_ = true;
                                                 if (auto ring = ParseCallMonitorLine(line)) onCall_(*ring);
                                               });
    if (dropped)
      log_("ISDN call monitor " + endpoint_.Describe() + ": a line longer than " +
               std::to_string(CallMonitorLineSplitter::kMaxLine) + " bytes was dropped",
           true);
  }
}

void CCallMonitor::Fail(const std::string& why) {
  const bool wasConnected = connected_;
  if (wasConnected &&
      (gotLine_ || std::chrono::steady_clock::now() - connectedAt_ >= std::chrono::milliseconds(kLongestPauseMs)))
    pauseMs_ = kFirstPauseMs;
  Drop();
  loop_.CancelTimer(timer_);
  if (!failureReported_) {
    log_("ISDN call monitor " + endpoint_.Describe() + ": " +
             (wasConnected ? "connection lost (" : "cannot connect (") + why + "); trying again",
         true);
    failureReported_ = true;
  }
  timer_ = loop_.StartTimer(pauseMs_, [this] { Connect(); });
  pauseMs_ = std::min(pauseMs_ * 2, kLongestPauseMs);
}

}  // namespace meldrix
