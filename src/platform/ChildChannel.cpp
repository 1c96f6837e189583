#include "platform/ChildChannel.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace meldrix {

ChildChannel& ChildChannel::operator=(ChildChannel&& other) noexcept {
  if (this != &other) {
    Stop(std::chrono::milliseconds(0));
    fd_ = other.fd_;
    pid_ = other.pid_;
    other.fd_ = -1;
    other.pid_ = -1;
  }
  return *this;
}

ChildChannel ChildChannel::Adopt(int fd) {
  ChildChannel channel;
  channel.fd_ = fd;
  return channel;
}

int ChildChannel::Start(const std::vector<std::string>& argv, const std::string& logFile) {
  Stop(std::chrono::milliseconds(0));
  if (argv.empty()) return EINVAL;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return errno;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string output = logFile.empty() ? "/dev/null" : logFile;
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 3);  // dup2 clears close-on-exec
  posix_spawn_file_actions_addclosefrom_np(&actions, 4);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(ends[1]);
  if (rc != 0) {
    ::close(ends[0]);
    return rc;
  }
  fd_ = ends[0];
  pid_ = pid;
  return 0;
}

void ChildChannel::Stop(std::chrono::milliseconds grace) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (pid_ <= 0) return;
  const auto end = std::chrono::steady_clock::now() + grace;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() >= end) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

}  // namespace meldrix
