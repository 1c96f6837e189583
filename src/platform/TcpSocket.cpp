#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace meldrix {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int TcpSocket::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void TcpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

TcpWakeup::TcpWakeup() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TcpWakeup::~TcpWakeup() {
  if (fd_ >= 0) ::close(fd_);
}

void TcpWakeup::Signal() {
  if (fd_ < 0) return;
  const std::uint64_t one = 1;
  // Never read back: the descriptor stays readable, so every waiter sees it.
  [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
}

bool TcpWakeup::IsSignalled() const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

TcpSocket TcpListen(std::uint16_t port, int& error) {
  TcpSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.IsOpen()) {
    error = errno;
    return {};
  }
  const int on = 1;
  setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.Fd(), SOMAXCONN) != 0) {
    error = errno;
    return {};
  }
  error = 0;
  return socket;
}

std::string TcpPeerName(const TcpSocket& socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getpeername(socket.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return "?";
  char text[INET_ADDRSTRLEN] = {};
  if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) return "?";
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::uint16_t TcpLocalPort(const TcpSocket& socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

TcpSocket TcpAccept(const TcpSocket& listener, int& error) {
  const int fd = ::accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) {
    error = errno;
    return {};
  }
  error = 0;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  return TcpSocket(fd);
}

bool TcpResolveIpv4(const std::string& host, std::uint16_t port, sockaddr_in& address, TcpConnectFailure& failure,
                    int& error) {
  address = sockaddr_in{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (resolved != 0 || found == nullptr) {
    failure = TcpConnectFailure::Resolve;
    error = resolved == EAI_SYSTEM ? errno : resolved;
    return false;
  }
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return true;
}

TcpSocket TcpConnect(const std::string& host, std::uint16_t port, int timeoutMs,
                     TcpConnectFailure& failure, int& error) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  sockaddr_in address{};
  if (!TcpResolveIpv4(host, port, address, failure, error)) return {};

  TcpSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket.IsOpen()) {
    failure = TcpConnectFailure::Socket;
    error = errno;
    return {};
  }
  if (!SetNonBlocking(socket.Fd())) {
    failure = TcpConnectFailure::NonBlocking;
    error = errno;
    return {};
  }
  if (::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) {
      failure = TcpConnectFailure::Connect;
      error = errno;
      return {};
    }
    while (true) {
      pollfd p{socket.Fd(), POLLOUT, 0};
      const int ready = ::poll(&p, 1, RemainingMs(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        failure = TcpConnectFailure::Wait;
        error = errno;
        return {};
      }
      if (ready == 0) {
        failure = TcpConnectFailure::TimedOut;
        error = ETIMEDOUT;
        return {};
      }
      int soError = 0;
      socklen_t length = sizeof soError;
      ::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &soError, &length);
      if (soError != 0) {
        failure = TcpConnectFailure::Connect;
        error = soError;
        return {};
      }
      break;
    }
  }
  failure = TcpConnectFailure::None;
  error = 0;
  return socket;
}

TcpWaitResult TcpWaitReadable(int fd, int wakeFd, int timeoutMs) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  const nfds_t count = wakeFd >= 0 ? 2 : 1;
  while (true) {
    const int ready = ::poll(fds, count, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return TcpWaitResult::Failed;
    }
    if (ready == 0) return TcpWaitResult::TimedOut;
    if (count == 2 && fds[1].revents != 0) return TcpWaitResult::Woken;
    return TcpWaitResult::Ready;
  }
}

std::size_t TcpBytesWaiting(const TcpSocket& socket) {
  int waiting = 0;
  if (::ioctl(socket.Fd(), FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return static_cast<std::size_t>(waiting);
}

long TcpReceive(const TcpSocket& socket, char* buffer, std::size_t capacity, int& error) {
  while (true) {
    const ssize_t got = ::recv(socket.Fd(), buffer, capacity, MSG_DONTWAIT);
    if (got >= 0) {
      error = 0;
      return static_cast<long>(got);
    }
    if (errno == EINTR) continue;
    error = errno == EWOULDBLOCK ? EAGAIN : errno;
    return -1;
  }
}

bool TcpSendAll(const TcpSocket& socket, std::string_view data, int timeoutMs, int& error, int wakeFd) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!data.empty()) {
    const ssize_t sent = ::send(socket.Fd(), data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int left = RemainingMs(deadline);
      pollfd fds[2] = {{socket.Fd(), POLLOUT, 0}, {wakeFd, POLLIN, 0}};
      const int ready = left == 0 ? 0 : ::poll(fds, wakeFd >= 0 ? 2 : 1, left);
      if (ready == 0) {
        error = ETIMEDOUT;
        return false;
      }
      if (ready > 0 && wakeFd >= 0 && fds[1].revents != 0) {
        error = ECANCELED;
        return false;
      }
      continue;
    }
    error = sent < 0 ? errno : EPIPE;
    return false;
  }
  error = 0;
  return true;
}

void TcpGracefulClose(TcpSocket& socket, int wakeFd) {
  if (!socket.IsOpen()) return;
  // Only the send side is shut at first: shutting the receive side too would
  // let the kernel answer late peer data with a reset, which may destroy our
  // last reply before the peer has read it.
  ::shutdown(socket.Fd(), SHUT_WR);
  char scrap[4096];
  for (const int phaseMs : {500, 500}) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(phaseMs);
    bool peerClosed = false;
    while (true) {
      const int left = RemainingMs(deadline);
      if (left == 0) break;
      const TcpWaitResult wait = TcpWaitReadable(socket.Fd(), wakeFd, left);
      if (wait != TcpWaitResult::Ready) break;
      int error = 0;
      const long got = TcpReceive(socket, scrap, sizeof scrap, error);
      if (got == 0 || (got < 0 && error != EAGAIN)) {
        peerClosed = true;
        break;
      }
    }
    if (peerClosed) break;
  }
  socket.Close();
}

}  // namespace meldrix
