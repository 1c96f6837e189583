// Runs a check as an ordinary user, so permission checks apply even when the
// tests run as root (as they do in CI).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <functional>

namespace meldrix::testing {

// The user checks run as under root: "nobody".
inline void UnprivilegedUser(uid_t& uid, gid_t& gid) {
  const passwd* nobody = ::getpwnam("nobody");
  uid = nobody ? nobody->pw_uid : 65534;
  gid = nobody ? nobody->pw_gid : 65534;
}

// Hands a folder tree to that user when running as root, so it sees the tree
// as its owner would.
inline void GiveToUnprivilegedUser(const std::string& folder) {
  if (::geteuid() != 0) return;
  uid_t uid;
  gid_t gid;
  UnprivilegedUser(uid, gid);
  ::lchown(folder.c_str(), uid, gid);
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored))
    ::lchown(entry.path().c_str(), uid, gid);
}

// Runs `check` in a forked child that has dropped to the user "nobody" when
// started as root; the child's exit status is `check`'s result, or -1 when
// the child could not run it.
inline int RunUnprivileged(const std::function<int()>& check) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::geteuid() == 0) {
      uid_t uid;
      gid_t gid;
      UnprivilegedUser(uid, gid);
      if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(255);
    }
    ::_exit(check());
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

}  // namespace meldrix::testing
