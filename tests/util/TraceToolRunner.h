// Runs the meldrix-trace tool for tests: on a temporary runtime folder that the
// process-wide trace channel of the test process is pointed at.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "util/Trace.h"

namespace meldrix {

// meldrix-trace with its standard output read through a pipe (ReadUntil).
class TraceTool : public testing::ChildProcess {
 public:
  explicit TraceTool(std::vector<std::string> args)
      : ChildProcess(WithProgram(std::move(args)), Piped()) {}

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> args) {
    args.insert(args.begin(), std::string(MELDRIX_BUILD_DIR) + "/meldrix-trace");
    return args;
  }
  static testing::ChildOptions Piped() {
    testing::ChildOptions options;
    options.stdoutPipe = true;
    return options;
  }
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
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    setenv("XDG_RUNTIME_DIR", folder_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_) setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
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
  std::optional<std::string> saved_;
};

}  // namespace meldrix
