#include "platform/Spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace meldrix {
namespace {

// Between fork and exec only async-signal-safe calls are allowed (the program
// has other threads), so everything the children need is prepared before.
void CloseDescriptorsFrom(int first) {
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, first, ~0U, 0) == 0) return;
#endif
  const long limit = ::sysconf(_SC_OPEN_MAX);
  for (long fd = first; fd < (limit > 0 ? limit : 1024); ++fd) ::close(static_cast<int>(fd));
}

void WriteError(int fd, int error) {
  while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
  }
}

[[noreturn]] void RunShell(char* const argv[], int errorFd) {
  // An ignored SIGPIPE (the program ignores it) would survive exec.
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &standard, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (errorFd != 3) {
    ::dup2(errorFd, 3);  // keep only 0, 1, 2 and the error pipe
    errorFd = 3;
  }
  ::fcntl(errorFd, F_SETFD, FD_CLOEXEC);
  CloseDescriptorsFrom(4);
  ::execve("/bin/sh", argv, environ);
  WriteError(errorFd, errno);
  ::_exit(127);
}

}  // namespace

int SpawnDetached(const std::string& command) {
  if (command.find('\0') != std::string::npos) return EINVAL;
  std::string shell = "/bin/sh", option = "-c", line = command;
  char* argv[] = {shell.data(), option.data(), line.data(), nullptr};

  // The grandchild reports a failed exec (or the intermediate a failed fork)
  // through this pipe; a successful exec closes it without a word.
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
  const pid_t intermediate = ::fork();
  if (intermediate < 0) {
    const int error = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return error;
  }
  if (intermediate == 0) {
    ::close(pipeFds[0]);
    const pid_t child = ::fork();
    if (child < 0) WriteError(pipeFds[1], errno);
    if (child == 0) RunShell(argv, pipeFds[1]);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = ::read(pipeFds[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(pipeFds[0]);
  if (got == static_cast<ssize_t>(sizeof error) && error != 0) return error;
  return 0;
}

}  // namespace meldrix
