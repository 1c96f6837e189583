// Runs the korvane-stub program for a test: a temporary folder holds the
// socket, the journal and the ready file; the stub is stopped with SIGTERM on
// destruction. Usable from any test program (header only).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "support/WaitUntil.h"

extern char** environ;

namespace meldrix::testing {

class KorvaneStubProcess {
 public:
  // `endpoint` empty: a Unix socket in the temporary folder. "tcp:127.0.0.1:0"
  // picks a free port; Endpoint() tells which.
  explicit KorvaneStubProcess(std::vector<std::string> extraArgs = {}, std::string endpoint = "")
      : journal_(folder_.File("journal.txt")) {
    if (endpoint.empty()) endpoint = "unix:" + folder_.File("korvane.sock");
    std::string ready = folder_.File("ready");
    std::vector<std::string> args = {MELDRIX_BUILD_DIR "/korvane-stub", "--endpoint", endpoint,
                                     "--journal", journal_, "--ready-file", ready};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
      throw std::runtime_error("cannot start korvane-stub");
    WaitUntil([&] {
      int status;
      if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
      return pid_ < 0 || std::filesystem::exists(ready);
    }, std::chrono::seconds(10));
    if (pid_ < 0) throw std::runtime_error("korvane-stub ended at start");
    std::ifstream in(ready);
    std::getline(in, endpoint_);
    if (endpoint_.empty()) {
      Stop();
      throw std::runtime_error("korvane-stub did not get ready");
    }
  }

  ~KorvaneStubProcess() { Stop(); }
  KorvaneStubProcess(const KorvaneStubProcess&) = delete;
  KorvaneStubProcess& operator=(const KorvaneStubProcess&) = delete;

  const std::string& Endpoint() const { return endpoint_; }
  const std::string& JournalPath() const { return journal_; }
  const TempFolder& Folder() const { return folder_; }

  // The journal's lines as they stand now.
  std::vector<std::string> Journal() const {
    std::vector<std::string> lines;
    std::ifstream in(journal_, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // SIGTERM and wait; the exit status, or -1 when it did not exit normally.
  int Stop() {
    if (pid_ <= 0) return exitStatus_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitStatus_;
  }

 private:
  TempFolder folder_;
  std::string journal_, endpoint_;
  pid_t pid_ = -1;
  int exitStatus_ = -1;
};

}  // namespace meldrix::testing
