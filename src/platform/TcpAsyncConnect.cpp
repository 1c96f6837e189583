#include "platform/TcpAsyncConnect.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace meldrix {

TcpSocket TcpStartConnect(const std::string& host, std::uint16_t port, TcpConnectFailure& failure,
                          int& error) {
  sockaddr_in address{};
  if (!TcpResolveIpv4(host, port, address, failure, error)) return {};
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
