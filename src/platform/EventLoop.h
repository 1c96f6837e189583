// The main thread's event loop: one-shot timers on the process clock and
// watches of file descriptors, driven by poll(). The engine, all its timers
// and the program's signal handling run on the thread that calls Run().
// Other threads only call Wake() (or Quit()), which interrupts the wait.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace meldrix {

class EventLoop {
 public:
  using TimerId = std::uint64_t;  // never 0
  using WatchId = std::uint64_t;  // never 0
  using TimerFn = std::function<void()>;
  using WatchFn = std::function<void(short revents)>;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Calls `fn` once, `delayMs` milliseconds from now (process clock). A
  // timer's callback may start or cancel timers, including its own kind.
  TimerId StartTimer(std::uint32_t delayMs, TimerFn fn);
  void CancelTimer(TimerId id);
  bool TimerPending(TimerId id) const;

  // Calls `fn` whenever poll() reports one of `events` (or an error or hang-up)
  // on `fd`. The loop does not own the descriptor.
  WatchId Watch(int fd, short events, WatchFn fn);
  void Unwatch(WatchId id);

  // Waits at most `maxWaitMs` (-1: until something happens) for the next
  // timer or descriptor, then runs what is due. Returns false once Quit() was
  // called.
  bool RunOnce(int maxWaitMs);
  // Runs until Quit(); returns the exit code given to Quit().
  int Run();
  // Thread-safe.
  void Quit(int exitCode = 0);
  bool Quitting() const { return quit_.load(); }
  // The code given to Quit(); for a loop driven by another.
  int ExitCode() const { return exitCode_.load(); }
  // Thread-safe: ends the current wait early.
  void Wake();

  // Milliseconds until the next timer is due, -1 when none is started.
  int MillisecondsToNextTimer() const;

  // For driving the loop from another event loop (the desktop program's): a
  // descriptor that polls readable while a watched descriptor has one of its
  // events or Wake() was called. The other loop then calls RunOnce(0), and
  // again when MillisecondsToNextTimer() has passed. Made at first use.
  // Regular files cannot be watched this way (they are always ready anyway).
  int Descriptor();

 private:
  struct Timer {
    std::uint64_t dueMs;
    TimerFn fn;
  };
  struct WatchEntry {
    int fd;
    short events;
    WatchFn fn;
  };

  void RunDueTimers();
  void UpdateReadiness(int fd);

  std::map<TimerId, Timer> timers_;
  std::map<WatchId, WatchEntry> watches_;
  TimerId nextTimer_ = 1;
  WatchId nextWatch_ = 1;
  int wakeFd_ = -1;  // eventfd
  int epollFd_ = -1;  // Descriptor(): the watched descriptors, level-triggered
  std::atomic<bool> quit_{false};
  std::atomic<int> exitCode_{0};
};

}  // namespace meldrix
