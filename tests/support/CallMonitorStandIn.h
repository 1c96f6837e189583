// A telephone router's call monitor for tests: listens on 127.0.0.1, takes
// one client at a time and sends it event lines. No thread: a client's
// connect completes in the listen backlog, and the test accepts it when it
// wants to talk to it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "support/WaitUntil.h"

namespace meldrix::testing {

class CallMonitorStandIn {
 public:
  // port 0: any free port.
  explicit CallMonitorStandIn(int port = 0) { Listen(port); }
  ~CallMonitorStandIn() {
    DropClient();
    StopListening();
  }
  CallMonitorStandIn(const CallMonitorStandIn&) = delete;
  CallMonitorStandIn& operator=(const CallMonitorStandIn&) = delete;

  int Port() const { return port_; }
  std::string Endpoint() const { return "tcp:127.0.0.1:" + std::to_string(port_); }

  // Listens again on the same port after StopListening.
  void Listen(int port = -1) {
    if (port < 0) port = port_;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("call monitor stand-in cannot listen");
    port_ = ntohs(address.sin_port);
  }
  void StopListening() {
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
  }

  // Takes the next client that connected (within `timeout`), dropping the
  // one before. False when none came.
  bool AcceptClient(std::chrono::milliseconds timeout = kWaitTimeout) {
    DropClient();
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
  }
  bool Send(const std::string& bytes) {
    return client_ >= 0 && ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(bytes.size());
  }
  // A RING line in the router's format.
  bool Ring(const std::string& calling, const std::string& called, int id = 0) {
    return Send("06.12.26 14:31:05;RING;" + std::to_string(id) + ";" + calling + ";" + called + ";SIP0;\r\n");
  }
  void DropClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
  }

 private:
  int listener_ = -1;
  int client_ = -1;
  int port_ = 0;
};

}  // namespace meldrix::testing
