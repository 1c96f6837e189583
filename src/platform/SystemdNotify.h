// Tells systemd how the service is doing, by the notification protocol: one
// datagram of "KEY=value" lines to the socket named by $NOTIFY_SOCKET (a name
// beginning with "@" is in the abstract namespace). Without that variable
// (not started by systemd with Type=notify) nothing is sent.
#pragma once

#include <chrono>
#include <string>

namespace meldrix {

class SystemdNotify {
 public:
  // Reads $NOTIFY_SOCKET, $WATCHDOG_USEC and $WATCHDOG_PID and removes them
  // from the environment, so commands the program starts do not talk to
  // systemd in its name.
  static SystemdNotify FromEnvironment();
  // A notifier for `socketPath`; `watchdogUsec` 0 means no watchdog.
  SystemdNotify(std::string socketPath, long long watchdogUsec);
  SystemdNotify() = default;

  bool Enabled() const { return !socketPath_.empty(); }
  // The interval at which the watchdog wants a ping: half of WATCHDOG_USEC;
  // zero when there is no watchdog for this process.
  std::chrono::milliseconds WatchdogPingInterval() const;

  // Sends the lines as one datagram; false when it could not be sent (or
  // notification is off).
  bool Send(const std::string& state) const;
  bool Ready() const { return Send("READY=1"); }
  bool Stopping() const { return Send("STOPPING=1"); }
  bool Watchdog() const { return Send("WATCHDOG=1"); }
  // Sends "STATUS=<text>" unless it equals the last status sent.
  bool Status(const std::string& text);

 private:
  std::string socketPath_;
  long long watchdogUsec_ = 0;
  std::string lastStatus_;
  bool statusSent_ = false;
};

}  // namespace meldrix
