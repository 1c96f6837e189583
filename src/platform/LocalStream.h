// Stream connections to local services named by an endpoint text:
// "unix:PATH" (a Unix domain stream socket) or "tcp:HOST:PORT". Every blocking
// step takes a deadline, so a peer that never answers costs at most the time
// the caller allows. Errors are errno values: ENOENT when the socket path or
// the host name does not exist, ECONNREFUSED when nobody listens, ETIMEDOUT
// when the deadline passed, EMSGSIZE when a reply exceeds the caller's limit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace meldrix {

struct StreamEndpoint {
  enum class Kind { Unix, Tcp };
  Kind kind = Kind::Unix;
  std::string path;  // Unix
  std::string host;  // Tcp: dotted address or name
  std::uint16_t port = 0;

  // "unix:PATH" or "tcp:HOST:PORT" (HOST may be "[v6addr]"); nullopt when malformed.
  static std::optional<StreamEndpoint> Parse(std::string_view text);
  std::string ToString() const;
};

using StreamDeadline = std::chrono::steady_clock::time_point;

// One socket address a connection can be made to (sockaddr_in, _in6 or _un).
struct StreamAddress {
  int family = 0;
  std::string bytes;  // the sockaddr as it goes to connect()
};

// The addresses of an endpoint: a Unix path as it is, a TCP host looked up
// by name (the slow part of a connection to a named host). 0, or an errno
// value as for a connection (ENOENT for an unknown host).
int ResolveStreamEndpoint(const StreamEndpoint& endpoint, std::vector<StreamAddress>& addresses);

// A connected stream socket; move-only, closed on destruction.
class LocalStream {
 public:
  LocalStream() = default;
  explicit LocalStream(int fd) : fd_(fd) {}
  ~LocalStream() { Close(); }
  LocalStream(LocalStream&& other) noexcept : fd_(other.Release()) {}
  LocalStream& operator=(LocalStream&& other) noexcept;
  LocalStream(const LocalStream&) = delete;
  LocalStream& operator=(const LocalStream&) = delete;

  // Connects without blocking past the deadline. On failure the stream is
  // closed and `error` holds the errno value.
  static LocalStream Connect(const StreamEndpoint& endpoint, StreamDeadline deadline, int& error);
  // The same to addresses resolved before, tried in order; `used` (when
  // given) receives the index of the address that answered.
  static LocalStream Connect(const std::vector<StreamAddress>& addresses, StreamDeadline deadline, int& error,
                             std::size_t* used = nullptr);

  // All bytes or an error (0 on success). Never raises SIGPIPE.
  int SendAll(std::string_view data, StreamDeadline deadline);
  // Half-close: tells the peer that nothing more follows.
  int ShutdownWrite();
  // Appends everything the peer sends until it closes. Stops with EMSGSIZE
  // once more than `limit` bytes arrived (what arrived up to the limit is kept).
  int ReceiveToEnd(std::string& out, std::size_t limit, StreamDeadline deadline);

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  int Release();
  void Close();

 private:
  int fd_ = -1;
};

// A listening socket. A Unix socket file appears only once the socket listens
// (it is bound under a temporary name and renamed into place), so a client
// that finds the path can connect. The file is removed on destruction if it
// is still ours.
class StreamListener {
 public:
  StreamListener() = default;
  ~StreamListener();
  StreamListener(StreamListener&& other) noexcept;
  StreamListener& operator=(StreamListener&& other) noexcept;
  StreamListener(const StreamListener&) = delete;
  StreamListener& operator=(const StreamListener&) = delete;

  // A stale Unix socket file (nobody listening) is replaced; a live one gives
  // EADDRINUSE. TCP port 0 picks a free port (see BoundEndpoint).
  static StreamListener Listen(const StreamEndpoint& endpoint, int& error, int backlog = 64);

  // Waits until a client connects or the deadline passes (ETIMEDOUT), or until
  // `wakeFd` (if >= 0) becomes readable (EINTR).
  LocalStream Accept(StreamDeadline deadline, int& error, int wakeFd = -1);

  // The endpoint as bound, with the real port for TCP.
  const StreamEndpoint& BoundEndpoint() const { return bound_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Close();

 private:
  int fd_ = -1;
  StreamEndpoint bound_;
  std::uint64_t unixDev_ = 0, unixIno_ = 0;  // identity of our socket file
};

// Milliseconds from now to the deadline, clamped to [0, INT_MAX] for poll().
int MillisecondsUntil(StreamDeadline deadline);

}  // namespace meldrix
