#include "platform/TcpAsyncConnect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace meldrix {

TcpSocket TcpStartConnect(const std::string& host, std::uint16_t port, TcpConnectFailure& failure,
                          int& error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (resolved != 0 || found == nullptr) {
      failure = TcpConnectFailure::Resolve;
      error = resolved == EAI_SYSTEM ? errno : resolved;
      return {};
    }
    address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
  }
  TcpSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
  if (!socket.IsOpen()) {
    failure = TcpConnectFailure::Socket;
    error = errno;
    return {};
  }
  if (::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    failure = TcpConnectFailure::Connect;
    error = errno;
    return {};
  }
  failure = TcpConnectFailure::None;
  error = 0;
  return socket;
}

int TcpConnectOutcome(const TcpSocket& socket) {
  int soError = 0;
  socklen_t length = sizeof soError;
  if (::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0) return errno;
  if (soError != 0) return soError;
  // Writable without an error but not connected (a reset raced the check).
  sockaddr_in peer{};
  socklen_t peerLength = sizeof peer;
  if (::getpeername(socket.Fd(), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
    return errno == ENOTCONN ? ECONNREFUSED : errno;
  return 0;
}

}  // namespace meldrix
