// POSIX TCP sockets behind a narrow interface: an owning descriptor, listen,
// accept, connect with a time-out, send, receive and the graceful close.
// Engine code uses these instead of calling the socket functions directly.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace meldrix {

// Owns one descriptor; closes it when destroyed.
class TcpSocket {
 public:
  TcpSocket() = default;
  explicit TcpSocket(int fd) : fd_(fd) {}
  ~TcpSocket() { Close(); }
  TcpSocket(TcpSocket&& other) noexcept : fd_(other.Release()) {}
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  int Fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Release();
  void Close();

 private:
  int fd_ = -1;
};

// A level-triggered wake-up signal (eventfd) that threads waiting in
// TcpWaitReadable watch besides their socket; once signalled it stays set.
class TcpWakeup {
 public:
  TcpWakeup();
  ~TcpWakeup();
  TcpWakeup(const TcpWakeup&) = delete;
  TcpWakeup& operator=(const TcpWakeup&) = delete;
  bool IsValid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Signal();
  bool IsSignalled() const;

 private:
  int fd_ = -1;
};

// Listens on port (0 = any free port) on all local IPv4 addresses with
// address reuse on and the system's maximum backlog. The socket is
// non-blocking. On failure returns a closed socket and sets error (errno).
TcpSocket TcpListen(std::uint16_t port, int& error);
// The local port a socket is bound to; 0 on error.
std::uint16_t TcpLocalPort(const TcpSocket& socket);
// The peer of a connected socket as "address:port"; "?" on error.
std::string TcpPeerName(const TcpSocket& socket);
// Accepts one waiting connection as a non-blocking socket; closed socket when
// none waits or on error (error = errno).
TcpSocket TcpAccept(const TcpSocket& listener, int& error);

// Where a connect attempt failed.
enum class TcpConnectFailure { None, Resolve, Socket, NonBlocking, Connect, TimedOut, Wait };
// Resolves host (dotted address or name; IPv4), connects without blocking and
// waits at most timeoutMs until connected. The connected socket is
// non-blocking. On failure returns a closed socket with the stage and errno.
TcpSocket TcpConnect(const std::string& host, std::uint16_t port, int timeoutMs,
                     TcpConnectFailure& failure, int& error);

// The IPv4 address of `host` (dotted or a name) with `port`; false with
// failure Resolve and the resolver's error when there is none.
bool TcpResolveIpv4(const std::string& host, std::uint16_t port, sockaddr_in& address, TcpConnectFailure& failure,
                    int& error);

enum class TcpWaitResult { Ready, TimedOut, Woken, Failed };
// Waits until fd is readable (data, peer close or error), the wake-up is
// signalled, or timeoutMs passed (-1 = no limit). wakeFd may be -1.
TcpWaitResult TcpWaitReadable(int fd, int wakeFd, int timeoutMs);

// Number of received bytes waiting (FIONREAD); 0 on error.
std::size_t TcpBytesWaiting(const TcpSocket& socket);
// Reads what waits, at most capacity bytes, without blocking. Returns the
// count, 0 when the peer closed, -1 when nothing waits (error = EAGAIN) or on
// error (error = errno).
long TcpReceive(const TcpSocket& socket, char* buffer, std::size_t capacity, int& error);
// Sends the whole text, waiting while the peer's window is full, for at most
// timeoutMs in total. False on error (error = errno, ETIMEDOUT on time-out,
// ECANCELED when the wake-up wakeFd was signalled meanwhile).
bool TcpSendAll(const TcpSocket& socket, std::string_view data, int timeoutMs, int& error, int wakeFd = -1);

// Graceful close: the send side is shut so the peer sees the end of data, at
// most 500 ms are given to the peer to close its side, waiting data is read
// and discarded for at most another 500 ms, then the socket is closed. A
// signalled wake-up cuts the waits short.
void TcpGracefulClose(TcpSocket& socket, int wakeFd = -1);

}  // namespace meldrix
