// A helper program started as our child with one end of a socketpair as its
// descriptor 3, for request/reply traffic in both directions. The child gets
// default signal handling, standard input from /dev/null and standard output
// and errors in a log file (or /dev/null); nothing else is inherited.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace meldrix {

class ChildChannel {
 public:
  ChildChannel() = default;
  ~ChildChannel() { Stop(std::chrono::milliseconds(0)); }
  ChildChannel(ChildChannel&& other) noexcept { *this = std::move(other); }
  ChildChannel& operator=(ChildChannel&& other) noexcept;
  ChildChannel(const ChildChannel&) = delete;
  ChildChannel& operator=(const ChildChannel&) = delete;

  // Starts argv (argv[0] searched in PATH); 0 or the system error number.
  int Start(const std::vector<std::string>& argv, const std::string& logFile = "");
  // Wraps a descriptor that is already connected (tests, fakes); no process.
  static ChildChannel Adopt(int fd);

  int Fd() const { return fd_; }
  pid_t Pid() const { return pid_; }
  bool Started() const { return fd_ >= 0; }
  // Closes our end (the child sees end of file), waits up to `grace` for
  // the child to end, then kills it; the child is always reaped.
  void Stop(std::chrono::milliseconds grace);

 private:
  int fd_ = -1;
  pid_t pid_ = -1;
};

}  // namespace meldrix
