// The connection to the outside trace server, which stands in for the named
// pipe "\\<server>\pipe\ostravel.TRAX4" of the original platform.
//
// Server "." (the local machine) is the Unix socket
// $XDG_RUNTIME_DIR/ostravel.TRAX4 (else /tmp/ostravel.TRAX4), of type
// SOCK_SEQPACKET so every write stays one message, as in a message-mode pipe.
// Any other server name is a TCP host ("host" or "host:port", default port
// kTraceTcpPort); a stream keeps no message boundaries, so there every message
// travels behind its length as a 32-bit little-endian word, in both directions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace meldrix {

inline constexpr uint16_t kTraceTcpPort = 24004;
inline constexpr std::string_view kTraceSocketName = "ostravel.TRAX4";

// Upper bound for one message on the TCP framing; a longer announced length
// means a broken peer and ends the connection.
inline constexpr uint32_t kTraceMaxFrame = 1u << 20;

struct TraceEndpoint {
  enum class Kind { Unix, Tcp };
  Kind kind = Kind::Unix;
  std::string path;  // Unix socket path
  std::string host;  // TCP host
  uint16_t port = kTraceTcpPort;

  // Human-readable form for messages ("/run/user/1000/ostravel.TRAX4", "tcp:host:24004").
  std::string Describe() const;
};

// $XDG_RUNTIME_DIR/ostravel.TRAX4, or /tmp/ostravel.TRAX4 without that variable.
std::string DefaultTraceSocketPath();

// The endpoint for a "TraceServer" value: "." or empty is the local socket.
TraceEndpoint TraceEndpointFor(std::string_view server);

// One client connection. Not thread-safe; the trace channel holds its own lock.
class TracePipe {
 public:
  TracePipe() = default;
  ~TracePipe();
  TracePipe(const TracePipe&) = delete;
  TracePipe& operator=(const TracePipe&) = delete;

  // Connects to a listening server; false (and closed) when there is none.
  // Sending and receiving give up after ioTimeoutMs so a stuck server cannot
  // stall the program.
  bool Open(const TraceEndpoint& endpoint, int ioTimeoutMs = 500);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Writes one whole message; false when the write failed or was short.
  bool Send(std::string_view message);
  // Reads one message, cut to maxBytes; nullopt on failure or end of stream.
  std::optional<std::string> Receive(size_t maxBytes);

 private:
  int fd_ = -1;
  TraceEndpoint::Kind kind_ = TraceEndpoint::Kind::Unix;
};

// Server side, used by the meldrix-trace tool: a listening socket for the
// endpoint (the Unix socket file is replaced when it exists). Returns the
// descriptor, or -1 with an error text.
int ListenTraceEndpoint(const TraceEndpoint& endpoint, std::string& error);

// The 32-bit little-endian length word that precedes a message on TCP.
std::string TraceFrameHeader(uint32_t length);
// The length a received header word announces; nothing for fewer than four
// bytes or a length above kTraceMaxFrame (a broken peer).
std::optional<uint32_t> TraceFrameLength(std::string_view header);

}  // namespace meldrix
