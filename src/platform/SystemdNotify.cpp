#include "platform/SystemdNotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace meldrix {

namespace {

std::string TakeVariable(const char* name) {
  const char* value = std::getenv(name);
  std::string text = value ? value : "";
  ::unsetenv(name);
  return text;
}

long long ParseNumber(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  return (end && *end == '\0' && value > 0) ? value : 0;
}

}  // namespace

SystemdNotify SystemdNotify::FromEnvironment() {
  std::string socketPath = TakeVariable("NOTIFY_SOCKET");
  long long watchdogUsec = ParseNumber(TakeVariable("WATCHDOG_USEC"));
  // The watchdog may be meant for another process of the service (the one
  // that exec'd us, when the PID differs).
  const long long watchdogPid = ParseNumber(TakeVariable("WATCHDOG_PID"));
  if (watchdogPid != 0 && watchdogPid != static_cast<long long>(::getpid())) watchdogUsec = 0;
  // Only absolute paths and abstract names are valid.
  if (!socketPath.empty() && socketPath[0] != '/' && socketPath[0] != '@') socketPath.clear();
  return SystemdNotify(std::move(socketPath), watchdogUsec);
}

SystemdNotify::SystemdNotify(std::string socketPath, long long watchdogUsec)
    : socketPath_(std::move(socketPath)), watchdogUsec_(watchdogUsec) {}

std::chrono::milliseconds SystemdNotify::WatchdogPingInterval() const {
  if (!Enabled() || watchdogUsec_ <= 0) return std::chrono::milliseconds(0);
  // Half the limit, as systemd advises; never 0 so a tiny limit still pings.
  return std::chrono::milliseconds(std::max<long long>(1, watchdogUsec_ / 2000));
}

bool SystemdNotify::Send(const std::string& state) const {
  if (!Enabled()) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath_.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketPath_.data(), socketPath_.size());
  socklen_t length = sizeof address;
  if (socketPath_[0] == '@') {
    address.sun_path[0] = '\0';  // abstract: the name is exactly the bytes given
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketPath_.size());
  }
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // Never wait on a manager that does not read: a full queue would stall the
  // main loop, and with it every alarm. A lost ping or status goes again later.
  const ssize_t sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&address), length);
  ::close(fd);
  return sent == static_cast<ssize_t>(state.size());
}

bool SystemdNotify::Status(const std::string& text) {
  if (!Enabled() || (statusSent_ && text == lastStatus_)) return false;
  if (!Send("STATUS=" + text)) return false;
  lastStatus_ = text;
  statusSent_ = true;
  return true;
}

}  // namespace meldrix
