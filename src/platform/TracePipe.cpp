#include "platform/TracePipe.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace meldrix {

namespace {

void SetIoTimeouts(int fd, int timeoutMs) {
  timeval tv{};
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool FillUnixAddress(const std::string& path, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReceiveAll(int fd, char* data, size_t size) {
  while (size > 0) {
    ssize_t n = recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Trace texts may carry alarm texts: hand them only to a server of our own
// user (or root), never to a socket someone else planted in a shared folder.
bool PeerIsTrusted(int fd) {
  ucred peer{};
  socklen_t len = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0) return false;
  return peer.uid == geteuid() || peer.uid == 0;
}

// Connects a TCP socket within timeoutMs; -1 when no server answers.
int ConnectTcp(const std::string& host, uint16_t port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return -1;
  int result = -1;
  for (addrinfo* ai = found; ai != nullptr && result < 0; ai = ai->ai_next) {
    int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) continue;
    int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc < 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int error = 0;
      socklen_t len = sizeof error;
      if (poll(&p, 1, timeoutMs) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 &&
          error == 0) {
        rc = 0;
      }
    }
    if (rc == 0) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      result = fd;
    } else {
      close(fd);
    }
  }
  freeaddrinfo(found);
  return result;
}

}  // namespace

std::string TraceEndpoint::Describe() const {
  if (kind == Kind::Unix) return path;
  return "tcp:" + host + ":" + std::to_string(port);
}

std::string DefaultTraceSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = (runtime != nullptr && *runtime != '\0') ? runtime : "/tmp";
  return folder + "/" + std::string(kTraceSocketName);
}

TraceEndpoint TraceEndpointFor(std::string_view server) {
  TraceEndpoint endpoint;
  if (server.empty() || server == ".") {
    endpoint.kind = TraceEndpoint::Kind::Unix;
    endpoint.path = DefaultTraceSocketPath();
    return endpoint;
  }
  endpoint.kind = TraceEndpoint::Kind::Tcp;
  endpoint.host = std::string(server);
  // "host:port"; a bracketed or bare IPv6 address keeps its colons.
  size_t colon = server.rfind(':');
  bool bracketed = !server.empty() && server.front() == '[';
  if (colon != std::string_view::npos && (bracketed || server.find(':') == colon)) {
    std::string_view portText = server.substr(colon + 1);
    unsigned long port = 0;
    bool numeric = !portText.empty() && portText.size() <= 5;
    for (char c : portText) {
      if (c < '0' || c > '9') numeric = false;
      else port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (numeric && port > 0 && port <= 65535) {
      endpoint.port = static_cast<uint16_t>(port);
      endpoint.host = std::string(server.substr(0, colon));
    }
  }
  if (endpoint.host.size() >= 2 && endpoint.host.front() == '[' && endpoint.host.back() == ']') {
    endpoint.host = endpoint.host.substr(1, endpoint.host.size() - 2);
  }
  return endpoint;
}

TracePipe::~TracePipe() { Close(); }

bool TracePipe::Open(const TraceEndpoint& endpoint, int ioTimeoutMs) {
  Close();
  kind_ = endpoint.kind;
  if (endpoint.kind == TraceEndpoint::Kind::Unix) {
    sockaddr_un addr;
    if (!FillUnixAddress(endpoint.path, addr)) return false;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    SetIoTimeouts(fd, ioTimeoutMs);  // also bounds connect when the server's backlog is full
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !PeerIsTrusted(fd)) {
      close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }
  fd_ = ConnectTcp(endpoint.host, endpoint.port, ioTimeoutMs);
  if (fd_ < 0) return false;
  SetIoTimeouts(fd_, ioTimeoutMs);
  return true;
}

void TracePipe::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool TracePipe::Send(std::string_view message) {
  if (fd_ < 0) return false;
  if (kind_ == TraceEndpoint::Kind::Unix) {
    ssize_t n;
    do {
      n = send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n >= 0 && static_cast<size_t>(n) == message.size();
  }
  if (message.size() > kTraceMaxFrame) return false;
  std::string frame = TraceFrameHeader(static_cast<uint32_t>(message.size()));
  frame.append(message);
  return SendAll(fd_, frame.data(), frame.size());
}

std::optional<std::string> TracePipe::Receive(size_t maxBytes) {
  if (fd_ < 0) return std::nullopt;
  if (kind_ == TraceEndpoint::Kind::Unix) {
    std::string buffer(maxBytes, '\0');
    ssize_t n;
    do {
      n = recv(fd_, buffer.data(), buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }
  char header[4];
  if (!ReceiveAll(fd_, header, sizeof header)) return std::nullopt;
  const std::optional<uint32_t> length = TraceFrameLength(std::string_view(header, sizeof header));
  if (!length) return std::nullopt;
  std::string buffer(*length, '\0');
  if (!ReceiveAll(fd_, buffer.data(), *length)) return std::nullopt;
  if (buffer.size() > maxBytes) buffer.resize(maxBytes);
  return buffer;
}

int ListenTraceEndpoint(const TraceEndpoint& endpoint, std::string& error) {
  if (endpoint.kind == TraceEndpoint::Kind::Unix) {
    sockaddr_un addr;
    if (!FillUnixAddress(endpoint.path, addr)) {
      error = "socket path too long or empty: " + endpoint.path;
      return -1;
    }
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = std::string("socket: ") + std::strerror(errno);
      return -1;
    }
    struct stat st{};
    if (lstat(endpoint.path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
      // A socket file left by a server that ended is replaced; a live one is not.
      int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
      bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
      if (probe >= 0) close(probe);
      if (live) {
        error = endpoint.path + ": another trace server is listening there";
        close(fd);
        return -1;
      }
      unlink(endpoint.path.c_str());
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
      error = endpoint.path + ": " + std::strerror(errno);
      close(fd);
      return -1;
    }
    return fd;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  std::string service = std::to_string(endpoint.port);
  const char* host = endpoint.host.empty() ? nullptr : endpoint.host.c_str();
  int rc = getaddrinfo(host, service.c_str(), &hints, &found);
  if (rc != 0) {
    error = endpoint.Describe() + ": " + gai_strerror(rc);
    return -1;
  }
  int result = -1;
  for (addrinfo* ai = found; ai != nullptr && result < 0; ai = ai->ai_next) {
    int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, 16) == 0) {
      result = fd;
    } else {
      error = endpoint.Describe() + ": " + std::strerror(errno);
      close(fd);
    }
  }
  freeaddrinfo(found);
  return result;
}

std::optional<uint32_t> TraceFrameLength(std::string_view header) {
  if (header.size() < 4) return std::nullopt;
  const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(header[i])); };
  const uint32_t length = byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
  if (length > kTraceMaxFrame) return std::nullopt;
  return length;
}

std::string TraceFrameHeader(uint32_t length) {
  std::string header(4, '\0');
  for (int i = 0; i < 4; ++i) header[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return header;
}

}  // namespace meldrix
