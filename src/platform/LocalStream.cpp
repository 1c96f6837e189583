#include "platform/LocalStream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <thread>

namespace meldrix {

namespace {

bool FillUnixAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

// Waits for `events` on fd; 0 when ready, ETIMEDOUT, or an errno value.
int WaitFor(int fd, short events, StreamDeadline deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, MillisecondsUntil(deadline));
    if (n > 0) return 0;
    if (n == 0) return ETIMEDOUT;
    if (errno != EINTR) return errno;
  }
}

int NewSocket(int family) {
  return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// Connects a non-blocking socket; 0, or an errno value.
int ConnectSocket(int fd, const sockaddr* address, socklen_t length, StreamDeadline deadline) {
  for (;;) {
    if (::connect(fd, address, length) == 0) return 0;
    int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN) {
      // Unix socket whose backlog is full: try again shortly.
      if (MillisecondsUntil(deadline) == 0) return ETIMEDOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    if (err != EINPROGRESS) return err;
    if (int w = WaitFor(fd, POLLOUT, deadline)) return w;
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return errno;
    return soError;
  }
}

int ResolveTcp(const StreamEndpoint& endpoint, std::vector<StreamAddress>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  std::string service = std::to_string(endpoint.port);
  int rc = ::getaddrinfo(endpoint.host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    if (rc == EAI_SYSTEM) return errno ? errno : EIO;
    if (rc == EAI_MEMORY) return ENOMEM;
    if (rc == EAI_AGAIN) return EAGAIN;
    return ENOENT;  // no such host
  }
  for (addrinfo* a = list; a; a = a->ai_next)
    addresses.push_back({a->ai_family, std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)});
  ::freeaddrinfo(list);
  return addresses.empty() ? ENOENT : 0;
}

}  // namespace

int ResolveStreamEndpoint(const StreamEndpoint& endpoint, std::vector<StreamAddress>& addresses) {
  addresses.clear();
  if (endpoint.kind == StreamEndpoint::Kind::Tcp) return ResolveTcp(endpoint, addresses);
  sockaddr_un address;
  if (!FillUnixAddress(endpoint.path, address)) return ENAMETOOLONG;
  addresses.push_back({AF_UNIX, std::string(reinterpret_cast<const char*>(&address), sizeof address)});
  return 0;
}

namespace {

int ConnectAddresses(const std::vector<StreamAddress>& addresses, StreamDeadline deadline, int& fdOut,
                     std::size_t& used) {
  int err = ENOENT;
  for (used = 0; used < addresses.size(); ++used) {
    const StreamAddress& address = addresses[used];
    int fd = NewSocket(address.family);
    if (fd < 0) {
      err = errno;
      continue;
    }
    err = ConnectSocket(fd, reinterpret_cast<const sockaddr*>(address.bytes.data()),
                        static_cast<socklen_t>(address.bytes.size()), deadline);
    if (err == 0) {
      fdOut = fd;
      return 0;
    }
    ::close(fd);
    if (err == ETIMEDOUT) break;
  }
  return err;
}

}  // namespace

int MillisecondsUntil(StreamDeadline deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline - std::chrono::steady_clock::now())
                  .count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

std::optional<StreamEndpoint> StreamEndpoint::Parse(std::string_view text) {
  StreamEndpoint endpoint;
  if (text.starts_with("unix:")) {
    endpoint.kind = Kind::Unix;
    endpoint.path = std::string(text.substr(5));
    if (endpoint.path.empty()) return std::nullopt;
    return endpoint;
  }
  if (!text.starts_with("tcp:")) return std::nullopt;
  std::string_view rest = text.substr(4);
  size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view host = rest.substr(0, colon), port = rest.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  unsigned value = 0;
  auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (host.empty() || port.empty() || ec != std::errc() || end != port.data() + port.size() ||
      value > 65535)
    return std::nullopt;
  endpoint.kind = Kind::Tcp;
  endpoint.host = std::string(host);
  endpoint.port = static_cast<std::uint16_t>(value);
  return endpoint;
}

std::string StreamEndpoint::ToString() const {
  if (kind == Kind::Unix) return "unix:" + path;
  bool v6 = host.find(':') != std::string::npos;
  return "tcp:" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

LocalStream& LocalStream::operator=(LocalStream&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int LocalStream::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void LocalStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

LocalStream LocalStream::Connect(const StreamEndpoint& endpoint, StreamDeadline deadline,
                                 int& error) {
  std::vector<StreamAddress> addresses;
  error = ResolveStreamEndpoint(endpoint, addresses);
  return error ? LocalStream() : Connect(addresses, deadline, error);
}

LocalStream LocalStream::Connect(const std::vector<StreamAddress>& addresses, StreamDeadline deadline,
                                 int& error, std::size_t* used) {
  int fd = -1;
  std::size_t index = 0;
  error = ConnectAddresses(addresses, deadline, fd, index);
  if (used) *used = index;
  return error ? LocalStream() : LocalStream(fd);
}

int LocalStream::SendAll(std::string_view data, StreamDeadline deadline) {
  if (fd_ < 0) return EBADF;
  while (!data.empty()) {
    ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (int w = WaitFor(fd_, POLLOUT, deadline)) return w;
      continue;
    }
    return n < 0 ? errno : EIO;
  }
  return 0;
}

int LocalStream::ShutdownWrite() {
  if (fd_ < 0) return EBADF;
  return ::shutdown(fd_, SHUT_WR) == 0 ? 0 : errno;
}

int LocalStream::ReceiveToEnd(std::string& out, std::size_t limit, StreamDeadline deadline) {
  if (fd_ < 0) return EBADF;
  size_t received = 0;
  char buffer[16384];
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n == 0) return 0;
    if (n > 0) {
      size_t take = static_cast<size_t>(n);
      if (received + take > limit) {
        out.append(buffer, limit - received);
        return EMSGSIZE;
      }
      out.append(buffer, take);
      received += take;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (int w = WaitFor(fd_, POLLIN, deadline)) return w;
      continue;
    }
    return errno;
  }
}

StreamListener::~StreamListener() { Close(); }

StreamListener::StreamListener(StreamListener&& other) noexcept
    : fd_(other.fd_), bound_(std::move(other.bound_)), unixDev_(other.unixDev_),
      unixIno_(other.unixIno_) {
  other.fd_ = -1;
}

StreamListener& StreamListener::operator=(StreamListener&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    bound_ = std::move(other.bound_);
    unixDev_ = other.unixDev_;
    unixIno_ = other.unixIno_;
    other.fd_ = -1;
  }
  return *this;
}

void StreamListener::Close() {
  if (fd_ < 0) return;
  if (bound_.kind == StreamEndpoint::Kind::Unix) {
    struct stat st;
    if (::stat(bound_.path.c_str(), &st) == 0 && st.st_dev == unixDev_ && st.st_ino == unixIno_)
      ::unlink(bound_.path.c_str());
  }
  ::close(fd_);
  fd_ = -1;
}

StreamListener StreamListener::Listen(const StreamEndpoint& endpoint, int& error, int backlog) {
  StreamListener listener;
  listener.bound_ = endpoint;
  error = 0;
  if (endpoint.kind == StreamEndpoint::Kind::Unix) {
    sockaddr_un target, temporary;
    std::string temporaryPath = endpoint.path + ".tmp" + std::to_string(::getpid());
    if (!FillUnixAddress(endpoint.path, target) || !FillUnixAddress(temporaryPath, temporary)) {
      error = ENAMETOOLONG;
      return {};
    }
    // Never replace something that is not a socket; someone already
    // listening there keeps the path.
    struct stat existing;
    if (::lstat(endpoint.path.c_str(), &existing) == 0 && !S_ISSOCK(existing.st_mode)) {
      error = EEXIST;
      return {};
    }
    int probeError = 0;
    LocalStream probe = LocalStream::Connect(
        endpoint, std::chrono::steady_clock::now() + std::chrono::seconds(1), probeError);
    if (probe.IsOpen()) {
      error = EADDRINUSE;
      return {};
    }
    int fd = NewSocket(AF_UNIX);
    if (fd < 0) {
      error = errno;
      return {};
    }
    listener.fd_ = fd;
    ::unlink(temporaryPath.c_str());
    struct stat st;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&temporary), sizeof temporary) != 0 ||
        ::listen(fd, backlog) != 0 || ::stat(temporaryPath.c_str(), &st) != 0 ||
        ::rename(temporaryPath.c_str(), endpoint.path.c_str()) != 0) {
      error = errno;
      ::unlink(temporaryPath.c_str());
      ::close(fd);
      listener.fd_ = -1;
      return {};
    }
    listener.unixDev_ = st.st_dev;
    listener.unixIno_ = st.st_ino;
    return listener;
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* list = nullptr;
  std::string service = std::to_string(endpoint.port);
  if (int rc = ::getaddrinfo(endpoint.host.c_str(), service.c_str(), &hints, &list); rc != 0) {
    error = rc == EAI_SYSTEM ? errno : ENOENT;
    return {};
  }
  error = ENOENT;
  for (addrinfo* a = list; a; a = a->ai_next) {
    int fd = NewSocket(a->ai_family);
    if (fd < 0) {
      error = errno;
      continue;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, backlog) != 0) {
      error = errno;
      ::close(fd);
      continue;
    }
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    listener.bound_.port =
        ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    listener.fd_ = fd;
    error = 0;
    break;
  }
  ::freeaddrinfo(list);
  return listener;
}

LocalStream StreamListener::Accept(StreamDeadline deadline, int& error, int wakeFd) {
  error = 0;
  if (fd_ < 0) {
    error = EBADF;
    return {};
  }
  for (;;) {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) return LocalStream(fd);
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error = errno;
      return {};
    }
    pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int n = ::poll(p, wakeFd >= 0 ? 2 : 1, MillisecondsUntil(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return {};
    }
    if (n == 0) {
      error = ETIMEDOUT;
      return {};
    }
    if (wakeFd >= 0 && (p[1].revents & POLLIN)) {
      error = EINTR;
      return {};
    }
  }
}

}  // namespace meldrix
