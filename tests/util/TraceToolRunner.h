// Runs the meldrix-trace tool for tests: on a temporary runtime folder that the
// process-wide trace channel of the test process is pointed at.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "util/Trace.h"

extern char** environ;

namespace meldrix {

// meldrix-trace started on a temporary runtime folder, its standard output read
// through a pipe.
class TraceTool {
 public:
  explicit TraceTool(const std::vector<std::string>& args) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = std::string(MELDRIX_BUILD_DIR) + "/meldrix-trace";
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~TraceTool() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    close(out_);
  }

  // Waits for the tool to end by itself; its exit status.
  int WaitExit() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Reads output until `needle` has appeared (or five seconds passed).
  std::string ReadUntil(const std::string& needle) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (output_.find(needle) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      output_.append(buffer, static_cast<size_t>(n));
    }
    return output_;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

inline bool WaitForSocket(const std::string& path) {
  TraceEndpoint endpoint;
  endpoint.path = path;
  return testing::WaitUntil([&] { return TracePipe().Open(endpoint); }, std::chrono::seconds(5));
}

// Points XDG_RUNTIME_DIR at a temporary folder for the test's duration.
class TraceToolFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    if (old) saved_ = old;
    hadRuntime_ = old != nullptr;
    setenv("XDG_RUNTIME_DIR", folder_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (hadRuntime_) setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    SetTraceConfigFile("");  // forget the temporary endpoint
  }
  std::string SocketPath() const { return folder_.File("ostravel.TRAX4"); }

  // Starts the tool with these arguments and lets the next trace call poll it.
  std::unique_ptr<TraceTool> StartTool(const std::vector<std::string>& args) {
    auto tool = std::make_unique<TraceTool>(args);
    EXPECT_TRUE(WaitForSocket(SocketPath()));
    SetTraceConfigFile("");
    return tool;
  }

  testing::TempFolder folder_;
  std::string saved_;
  bool hadRuntime_ = false;
};

}  // namespace meldrix
