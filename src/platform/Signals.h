// The program's signals as events of the main loop: SIGTERM, SIGINT, SIGHUP
// and SIGUSR1 are blocked for every thread (call BlockProgramSignals() before
// any thread starts, so no other thread takes them) and read from a signalfd.
#pragma once

#include <functional>

#include "platform/EventLoop.h"

namespace meldrix {

// Blocks the program's signals in the calling thread; threads started later
// inherit the mask. Returns false when the mask could not be set.
bool BlockProgramSignals();
// Undoes BlockProgramSignals() for a child process about to exec (the mask is
// inherited across exec).
void UnblockProgramSignals();

class SignalWatcher {
 public:
  using Handler = std::function<void(int signal)>;

  // Watches the blocked program signals on `loop`; `handler` runs on the
  // loop's thread. Throws std::runtime_error when signalfd is not available.
  SignalWatcher(EventLoop& loop, Handler handler);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  void ReadSignals();

  EventLoop& loop_;
  Handler handler_;
  int fd_ = -1;
  EventLoop::WatchId watch_ = 0;
};

}  // namespace meldrix
