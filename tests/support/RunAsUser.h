// Runs a piece of a test in a child process under another account, so that
// permission checks apply although the tests run as root (as they do in CI).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace meldrix::testing {

struct Account {
  uid_t uid;
  gid_t gid;
};

// "nobody" with its primary group; nullopt unless the test runs as root.
inline std::optional<Account> NobodyWhenRoot() {
  const passwd* pw = ::getpwnam("nobody");
  if (!pw || ::geteuid() != 0) return std::nullopt;
  return Account{pw->pw_uid, pw->pw_gid};
}

// Runs `work` in a forked child as `account` (unchanged without one) with
// `groups` as its supplementary groups. Returns the child's exit status (what
// `work` returned; 99 when the account could not be taken, -1 after a
// signal); whatever `work` puts into its text comes back in `report`.
inline int RunAs(const std::optional<Account>& account, std::vector<gid_t> groups,
                 const std::function<int(std::string& report)>& work, std::string* report = nullptr) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    if (account && (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(account->gid) != 0 ||
                    ::setuid(account->uid) != 0))
      ::_exit(99);
    std::string text;
    const int status = work(text);
    if (::write(fds[1], text.data(), text.size()) < 0) ::_exit(98);
    ::_exit(status);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (report) *report = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace meldrix::testing
