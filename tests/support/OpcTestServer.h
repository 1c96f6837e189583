// The node-opcua test server (tests/support/opc-test-server.js) run for a
// test on a loopback port, driven through its standard input: "set" changes
// a variable, Get reads one back. Always stopped again.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/FreePort.h"

extern char** environ;

namespace meldrix::testing {

// Where scripts/install-deps put node-opcua for the build trees.
inline std::string OpcNodeModules() { return MELDRIX_SOURCE_DIR "/build/opc-bridge/node_modules"; }

class OpcTestServer {
 public:
  explicit OpcTestServer(int port = FreePort()) : port_(port) { Start(); }
  ~OpcTestServer() { Stop(); }
  OpcTestServer(const OpcTestServer&) = delete;
  OpcTestServer& operator=(const OpcTestServer&) = delete;

  int Port() const { return port_; }
  std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_) + "/UA/Test"; }

  void Start() {
    if (pid_ > 0) return;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> env{"NODE_PATH=" + OpcNodeModules()};
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("NODE_PATH=", 0) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string script = MELDRIX_SOURCE_DIR "/tests/support/opc-test-server.js", node = "node",
                port = std::to_string(port_);
    char* argv[] = {node.data(), script.data(), port.data(), nullptr};
    const int rc = ::posix_spawnp(&pid_, "node", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
    seen_.clear();
    if (rc != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start node");
    }
    if (!WaitForLine("ready ", std::chrono::seconds(30))) throw std::runtime_error("OPC test server did not start");
  }

  void Stop() {
    if (input_ >= 0) ::close(input_);
    if (output_ >= 0) ::close(output_);
    input_ = output_ = -1;
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 300 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) ::usleep(10000);
    if (::waitpid(pid_, nullptr, WNOHANG) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

  bool Set(const std::string& name, const std::string& value) {
    return Command("set " + name + " " + value) && WaitForLine("set " + name);
  }
  // The variable's value as the server holds it.
  std::optional<std::string> Get(const std::string& name) {
    const std::string prefix = "value " + name + " ";
    if (!Command("get " + name) || !WaitForLine(prefix)) return std::nullopt;
    return lastLine_.substr(prefix.size());
  }

 private:
  bool Command(const std::string& line) {
    const std::string text = line + "\n";
    return ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  // The next line that begins with `prefix` (earlier ones are skipped).
  bool WaitForLine(const std::string& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      for (std::size_t at; (at = seen_.find('\n')) != std::string::npos;) {
        lastLine_ = seen_.substr(0, at);
        seen_.erase(0, at + 1);
        if (lastLine_.rfind(prefix, 0) == 0) return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{output_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[1024];
      const ssize_t n = ::read(output_, buffer, sizeof buffer);
      if (n <= 0) return false;
      seen_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  int port_;
  pid_t pid_ = -1;
  int input_ = -1, output_ = -1;
  std::string seen_, lastLine_;
};

}  // namespace meldrix::testing
