#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

// meldrix with standard output into a pipe whose reader has gone away, as in
// "meldrix | tee log" after tee ended.
class ProgramWithClosedOutput {
 public:
  ProgramWithClosedOutput(const std::string& dataFolder, const std::string& runtimeFolder)
      : err_(dataFolder + "/closed.err") {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back("MELDRIX_DATA=" + dataFolder);
    env.push_back("MELDRIX_RUNTIME_DIR=" + runtimeFolder);
    env.push_back("MELDRIX_DDE_DIR=" + runtimeFolder + "/dde");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = MELDRIX_BUILD_DIR "/meldrix";
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);  // the reader is gone before the first line is written
    ::close(fds[1]);
    if (rc != 0) throw std::runtime_error("cannot start meldrix");
  }
  ~ProgramWithClosedOutput() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void Signal(int signal) { ::kill(pid_, signal); }
  bool Running() { return pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == 0; }
  // The raw wait status after SIGTERM.
  int Terminate() {
    ::kill(pid_, SIGTERM);
    WaitUntil([&] { return !Running(); });
    pid_ = -1;
    return status_;
  }
  std::string Errors() const { return ReadFile(err_); }

 private:
  std::string err_;
  pid_t pid_ = -1;
  int status_ = 0;
};

TEST(ClosedOutputE2eTest, ProcessingGoesOnWhenTheLogReaderIsGone) {
  E2eSetup setup;
  fs::create_directories(setup.File("in"));
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n"
                    "[InSource1]\nName=Drop\nSource=2\nFile=" + setup.File("in/*.txt") +
                    "\nRemoveFile=1\n"
                    "[Message1]\nName=All\nReceiver=Ops\nLeftTrigger=\n");
  // Both files wait when the program starts: the first log lines (activation)
  // are written before any of them is read.
  WriteFile(setup.File("in/.a.tmp"), "first alarm\r\n");
  fs::rename(setup.File("in/.a.tmp"), setup.File("in/a.txt"));
  WriteFile(setup.File("in/.b.tmp"), "second alarm\r\n");
  fs::rename(setup.File("in/.b.tmp"), setup.File("in/b.txt"));
  ProgramWithClosedOutput meldrix(setup.DataFolder(), setup.RuntimeFolder());
  EXPECT_TRUE(setup.WaitForCommand("first alarm")) << meldrix.Errors();
  EXPECT_TRUE(setup.WaitForCommand("second alarm")) << meldrix.Errors();
  // More log lines (the counters) after the output failed.
  meldrix.Signal(SIGUSR1);
  meldrix.Signal(SIGUSR1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(meldrix.Running());
  const int status = meldrix.Terminate();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(meldrix.Errors().find("can no longer be written"), std::string::npos)
      << meldrix.Errors();
}

}  // namespace
}  // namespace meldrix::testing
