// Stands in for a daemon the program sends datagrams to (systemd's notify
// socket, syslog): a bound Unix datagram socket that keeps what arrives. A
// name that begins with "@" is an abstract socket.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/WaitUntil.h"

namespace meldrix::testing {

class DatagramSink {
 public:
  explicit DatagramSink(std::string name) : name_(std::move(name)) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name_.copy(address.sun_path, sizeof address.sun_path - 1);
    socklen_t length = sizeof address;
    if (name_.starts_with('@')) {
      address.sun_path[0] = '\0';
      length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_.size());
    }
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0)
      throw std::runtime_error("cannot bind " + name_);
  }
  ~DatagramSink() { ::close(fd_); }
  DatagramSink(const DatagramSink&) = delete;
  DatagramSink& operator=(const DatagramSink&) = delete;

  const std::string& Path() const { return name_; }
  // The datagrams that arrived since the last call.
  std::vector<std::string> Take() {
    Collect();
    std::vector<std::string> fresh(all_.begin() + static_cast<std::ptrdiff_t>(taken_), all_.end());
    taken_ = all_.size();
    return fresh;
  }
  // The same, a datagram a line.
  std::string TakeLines() {
    std::string lines;
    for (const std::string& datagram : Take()) lines += datagram + '\n';
    return lines;
  }
  // Waits until some datagram so far begins with `wanted`.
  bool WaitFor(const std::string& wanted) {
    return WaitUntil([&] {
      Collect();
      return std::any_of(all_.begin(), all_.end(), [&](const std::string& d) { return d.starts_with(wanted); });
    });
  }
  // Everything so far, a datagram a line.
  std::string All() const {
    std::string lines;
    for (const std::string& datagram : all_) lines += datagram + '\n';
    return lines;
  }

 private:
  void Collect() {
    char buffer[2048];
    for (ssize_t got; (got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
      all_.emplace_back(buffer, static_cast<std::size_t>(got));
  }

  std::string name_;
  int fd_ = -1;
  std::vector<std::string> all_;
  std::size_t taken_ = 0;
};

}  // namespace meldrix::testing
