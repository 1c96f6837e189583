#include "sources/SocketClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

namespace meldrix {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

}  // namespace

bool CSocketClient::Connect(const std::string& host, std::uint16_t port, long timeoutMs) {
  Close();
  errorText_.clear();
  TcpConnectFailure failure = TcpConnectFailure::None;
  int error = 0;
  const int waitMs = timeoutMs < 0 ? 0 : timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
  socket_ = TcpConnect(host, port, waitMs, failure, error);
  lastError_ = error;
  switch (failure) {
    case TcpConnectFailure::None:
      connected_ = true;
      return true;
    case TcpConnectFailure::Resolve:
      errorText_ = Format("gethostbyname(%s) failed (error %d)\n", host.c_str(), error);
      break;
    case TcpConnectFailure::Socket:
      errorText_ = Format("socket() failed (error %d)\n", error);
      break;
    case TcpConnectFailure::NonBlocking:
      errorText_ = Format("ioctlsocket() failed (error %d)\n", error);
      break;
    case TcpConnectFailure::Connect:
      errorText_ = Format("connect(%d) failed (error %d)\n", static_cast<int>(port), error);
      break;
    case TcpConnectFailure::TimedOut:
      errorText_ = Format("connect(%d) failed (timeout %ld msec)\n", static_cast<int>(port), timeoutMs);
      break;
    case TcpConnectFailure::Wait:
      errorText_ = Format("select() failed (error %d)\n", error);
      break;
  }
  return false;
}

bool CSocketClient::Send(std::string_view text) {
  if (!socket_.IsOpen()) {
    lastError_ = ENOTCONN;
    return false;
  }
  int error = 0;
  if (!TcpSendAll(socket_, text, kSendTimeoutMs, error)) {
    lastError_ = error;
    return false;
  }
  return true;
}

std::size_t CSocketClient::BytesWaiting() const {
  if (!socket_.IsOpen()) return 0;
  return TcpBytesWaiting(socket_);
}

std::size_t CSocketClient::Receive(std::string& text) {
  text.clear();
  const std::size_t waiting = BytesWaiting();
  if (waiting == 0) return 0;
  text.resize(waiting);
  int error = 0;
  const long got = TcpReceive(socket_, text.data(), waiting, error);
  if (got < 0) {
    lastError_ = error;
    text.clear();
    return 0;
  }
  text.resize(static_cast<std::size_t>(got));
  return text.size();
}

CSocketClient::ReplyEnd CSocketClient::ReceiveReply(std::string& reply, long limitMs, std::size_t maxBytes,
                                                    const std::function<bool(std::string_view)>& complete) {
  reply.clear();
  if (!socket_.IsOpen()) {
    lastError_ = ENOTCONN;
    return ReplyEnd::Failed;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max<long>(limitMs, 0));
  char buffer[16384];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReplyEnd::TimedOut;
    // Wakes as soon as bytes arrive; the 100 ms step only bounds each wait.
    const TcpWaitResult waited = TcpWaitReadable(socket_.Fd(), -1, static_cast<int>(std::min<long long>(left, 100)));
    if (waited == TcpWaitResult::TimedOut) continue;
    if (waited != TcpWaitResult::Ready) {
      lastError_ = errno;
      return ReplyEnd::Failed;
    }
    int error = 0;
    const long got = TcpReceive(socket_, buffer, sizeof buffer, error);
    if (got == 0) return ReplyEnd::PeerClosed;
    if (got < 0) {
      if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
      lastError_ = error;
      return ReplyEnd::Failed;
    }
    reply.append(buffer, static_cast<std::size_t>(got));
    if (reply.size() > maxBytes) return ReplyEnd::TooLarge;
    if (complete && complete(reply)) return ReplyEnd::Complete;
  }
}

void CSocketClient::Close() {
  TcpGracefulClose(socket_);
  connected_ = false;
}

}  // namespace meldrix
