// A TCP connect that does not wait: for readers on the event loop, which
// must not stall the main thread while a far peer does not answer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/TcpSocket.h"

namespace meldrix {

// Resolves host (IPv4; a dotted address needs no lookup) and starts a
// non-blocking connect. The socket returned is open while the connect is in
// progress or done: watch it for POLLOUT, then ask TcpConnectOutcome. On
// failure returns a closed socket with the stage and errno (for Resolve the
// getaddrinfo code, or errno for EAI_SYSTEM).
TcpSocket TcpStartConnect(const std::string& host, std::uint16_t port, TcpConnectFailure& failure,
                          int& error);

// After the socket became writable or reported an error: 0 when connected,
// else the connect's errno.
int TcpConnectOutcome(const TcpSocket& socket);

}  // namespace meldrix
