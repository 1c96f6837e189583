// A private Dovecot POP3 server for end-to-end tests: its own configuration,
// a passwd-file user with a plain password and a Maildir, all in a temporary
// folder, listening on 127.0.0.1 on a free port. No system service is used.
// Dovecot changes to the mail user itself, so it needs root; without root or
// without the package the runner says why it did not start.
#pragma once

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/FreePort.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix::testing {

class DovecotRunner {
 public:
  static constexpr const char* kProgram = "/usr/sbin/dovecot";
  static constexpr const char* kUser = "alarm";

  explicit DovecotRunner(std::string password) : password_(std::move(password)) {
    if (!std::filesystem::exists(kProgram)) {
      reason_ = std::string(kProgram) + " is missing (Debian package dovecot-pop3d; scripts/install-deps)";
      return;
    }
    if (::geteuid() != 0) {
      reason_ = "Dovecot must start as root to switch to its users";
      return;
    }
    const passwd* mailUser = ::getpwnam("nobody");
    if (!mailUser) {
      reason_ = "no user \"nobody\" to own the Maildir";
      return;
    }
    uid_ = mailUser->pw_uid;
    gid_ = mailUser->pw_gid;
    namespace fs = std::filesystem;
    // Dovecot's processes (the mail user and its login users) must reach
    // the folder.
    fs::permissions(folder_.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    for (const char* sub : {"Maildir/new", "Maildir/cur", "Maildir/tmp", "home"}) fs::create_directories(folder_.File(sub));
    for (const char* owned : {"Maildir", "Maildir/new", "Maildir/cur", "Maildir/tmp", "home"})
      Own(folder_.File(owned));
    // A plain password, as stored: the test's password may hold "<" and "&".
    WriteFile(folder_.File("passwd"), std::string(kUser) + ":{PLAIN}" + password_ + "::::::\n");
    port_ = FreePort();
    WriteFile(folder_.File("dovecot.conf"), Config());
    ChildOptions options;
    options.stdinFromNull = true;
    options.stdoutFile = folder_.File("dovecot.out");
    options.stderrFile = folder_.File("dovecot.err");
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kProgram, "-F", "-c", folder_.File("dovecot.conf")}, options);
    if (!WaitUntil([&] { return Greets(); })) {
      reason_ = "Dovecot did not start: " + ReadFile(folder_.File("dovecot.err")) +
                ReadFile(folder_.File("dovecot.log"));
      process_.reset();
    }
  }

  bool Started() const { return process_ != nullptr; }
  const std::string& Reason() const { return reason_; }
  int Port() const { return port_; }
  const std::string& Password() const { return password_; }
  std::string Log() const { return ReadFile(folder_.File("dovecot.log")); }

  // Delivers one mail the Maildir way: written under tmp/, renamed into new/.
  void Deliver(const std::string& bytes) {
    const std::string name = std::to_string(++delivered_) + ".meldrix-test";
    const std::string temporary = folder_.File("Maildir/tmp/" + name);
    WriteFile(temporary, bytes);
    Own(temporary);
    std::filesystem::rename(temporary, folder_.File("Maildir/new/" + name));
  }
  // Mails still in the mailbox.
  std::size_t MailCount() const {
    std::size_t count = 0;
    for (const char* sub : {"Maildir/new", "Maildir/cur"})
      for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_.File(sub))) ++count;
    return count;
  }

 private:
  void Own(const std::string& path) const {
    if (::chown(path.c_str(), uid_, gid_) != 0) throw std::runtime_error("chown " + path + " failed");
  }
  bool Greets() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char greeting[4] = {};
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::recv(fd, greeting, 3, MSG_WAITALL) == 3 && std::string(greeting) == "+OK";
    ::close(fd);
    return ok;
  }
  std::string Config() const {
    const std::string base = folder_.Path();
    return "base_dir = " + base + "/run\n"
           "state_dir = " + base + "/state\n"
           "log_path = " + base + "/dovecot.log\n"
           "protocols = pop3\n"
           "listen = 127.0.0.1\n"
           "ssl = no\n"
           "disable_plaintext_auth = no\n"
           "auth_mechanisms = plain\n"
           "login_trusted_networks = 127.0.0.0/8\n"
           // Debian's own users; root is refused for both.
           "default_internal_user = dovecot\n"
           "default_login_user = dovenull\n"
           "first_valid_uid = 1\n"
           "mail_location = maildir:" + base + "/Maildir\n"
           "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + base + "/passwd\n}\n"
           "userdb {\n  driver = static\n  args = uid=" + std::to_string(uid_) + " gid=" + std::to_string(gid_) +
           " home=" + base + "/home\n}\n"
           "service pop3-login {\n  inet_listener pop3 {\n    port = " + std::to_string(port_) +
           "\n  }\n  inet_listener pop3s {\n    port = 0\n  }\n}\n"
           "service anvil {\n  chroot =\n}\n";
  }

  TempFolder folder_;
  std::string password_;
  std::string reason_;
  int port_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  int delivered_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace meldrix::testing
