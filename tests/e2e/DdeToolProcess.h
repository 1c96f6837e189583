// Runs the meldrix-dde tool against the DDE folder of an end-to-end setup:
// once to completion (RunDdeTool) or in the background (serve, advise).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {

class DdeToolProcess {
 public:
  DdeToolProcess(const std::string& ddeFolder, const std::string& outputBase,
                 std::vector<std::string> arguments)
      : out_(outputBase + ".out"), err_(outputBase + ".err") {
    std::vector<std::string> args = {MELDRIX_BUILD_DIR "/meldrix-dde"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("MELDRIX_DDE_DIR=", 0) != 0) env.push_back(*e);
    env.push_back("MELDRIX_DDE_DIR=" + ddeFolder);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~DdeToolProcess() { Stop(); }
  DdeToolProcess(const DdeToolProcess&) = delete;
  DdeToolProcess& operator=(const DdeToolProcess&) = delete;

  std::string Output() const { return ReadFile(out_); }
  std::string Errors() const { return ReadFile(err_); }
  int Pid() const { return pid_; }

  std::optional<int> Wait(std::chrono::milliseconds timeout = kE2eTimeout) {
    if (pid_ <= 0) return status_;
    bool ended = WaitUntil(
        [&] {
          int status = 0;
          if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
          status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
          pid_ = -1;
          return true;
        },
        timeout);
    return ended ? status_ : std::nullopt;
  }
  std::optional<int> Stop() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    if (auto status = Wait()) return status;
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    return Wait();
  }

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct DdeToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline DdeToolResult RunDdeTool(const E2eSetup& setup, std::vector<std::string> arguments) {
  static std::atomic<int> counter{0};
  DdeToolProcess tool(setup.RuntimeFolder() + "/dde",
                      setup.File("dde-tool-" + std::to_string(counter++)), std::move(arguments));
  DdeToolResult result;
  result.status = tool.Wait().value_or(-1);
  result.out = tool.Output();
  result.err = tool.Errors();
  return result;
}

// Waits until `meldrix-dde list` shows the service (any process).
inline bool WaitForDdeService(const E2eSetup& setup, const std::string& service) {
  return WaitUntil([&] {
    return RunDdeTool(setup, {"list"}).out.find(service + "\t") != std::string::npos;
  });
}

}  // namespace meldrix::testing
