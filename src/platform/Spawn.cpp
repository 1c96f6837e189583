#include "platform/Spawn.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace meldrix {

int SpawnDetached(const std::string& command) {
  if (command.find('\0') != std::string::npos) return EINVAL;
  posix_spawn_file_actions_t actions;
  if (int rc = posix_spawn_file_actions_init(&actions)) return rc;
  // Only standard input, output and error go to the child.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Default signal handling in the child, whatever this program blocks.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

  std::string shell = "/bin/sh", option = "-c", line = command;
  char* argv[] = {shell.data(), option.data(), line.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return rc;
  // A waiter per child keeps the process table clean without touching the
  // program's SIGCHLD handling.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 0;
}

}  // namespace meldrix
