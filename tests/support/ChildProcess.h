// A program started for a test and always stopped again: SIGTERM on
// destruction, SIGKILL when it does not end in time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/WaitUntil.h"

extern char** environ;

namespace meldrix::testing {

struct ChildOptions {
  std::vector<std::string> environment;  // empty: this process's environment
  std::string stdoutFile, stderrFile;    // empty: inherited (unless piped)
  bool stdinFromNull = false;
  bool stdoutPipe = false;  // read through ReadUntil
};

class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> args, const ChildOptions& options = ChildOptions()) {
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = options.environment;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (options.stdoutPipe && ::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.stdinFromNull) posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.stdoutPipe) {
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
      posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    const int create = O_WRONLY | O_CREAT | O_TRUNC;
    if (!options.stdoutFile.empty())
      posix_spawn_file_actions_addopen(&actions, 1, options.stdoutFile.c_str(), create, 0644);
    if (!options.stderrFile.empty())
      posix_spawn_file_actions_addopen(&actions, 2, options.stderrFile.c_str(), create, 0644);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(),
                                 options.environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (options.stdoutPipe) {
      ::close(pipeFds[1]);
      out_ = pipeFds[0];
    }
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  }
  ~ChildProcess() {
    Stop();
    if (out_ >= 0) ::close(out_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running() const { return pid_ > 0; }
  void Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // The exit status once the program ended within `timeout` (-1 when it
  // ended by a signal), nullopt while it still runs.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout = kWaitTimeout) {
    WaitUntil([&] {
      int status = 0;
      if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return pid_ <= 0;
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return true;
    }, timeout, std::chrono::milliseconds(5));
    return pid_ > 0 ? std::nullopt : status_;
  }

  // SIGTERM, then SIGKILL when it does not end; the exit status.
  std::optional<int> Stop() {
    if (pid_ <= 0) return status_;
    Signal(SIGTERM);
    if (auto status = WaitForExit()) return status;
    Signal(SIGKILL);
    return WaitForExit();
  }

  // Reads the piped standard output until `needle` has appeared or `timeout`
  // passed; everything read so far.
  std::string ReadUntil(const std::string& needle, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (output_.find(needle) == std::string::npos && std::chrono::steady_clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      output_.append(buffer, static_cast<size_t>(n));
    }
    return output_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  int out_ = -1;
  std::string output_;
};

}  // namespace meldrix::testing
