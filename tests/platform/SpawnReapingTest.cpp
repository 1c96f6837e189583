#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Spawn.h"

namespace meldrix {
namespace {

namespace fs = std::filesystem;

// The "Name:" line of /proc/<pid>/status, without the name.
std::string StatusField(const std::string& statusPath, const std::string& name) {
  std::ifstream in(statusPath);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + ":", 0) == 0) return line.substr(name.size() + 1);
  return {};
}

int ThreadCount() { return std::stoi(StatusField("/proc/self/status", "Threads")); }

bool NoChildLeft() { return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

// Many commands that are still running when the calls return: none of them
// may cost a thread, and none is left for us to reap.
TEST(SpawnReaping, ManyCommandsNeitherThreadsNorZombies) {
  const int threadsBefore = ThreadCount();
  for (int i = 0; i < 300; ++i) ASSERT_EQ(SpawnDetached("sleep 3"), 0) << i;
  EXPECT_LE(ThreadCount(), threadsBefore + 1) << threadsBefore;
  EXPECT_TRUE(NoChildLeft());
}

// The program ignores SIGPIPE and blocks its own signals; a command must not
// inherit either, or a pipeline in it would never end on a closed reader.
TEST(SpawnReaping, CommandGetsDefaultSignalHandling) {
  fs::path out = fs::temp_directory_path() / ("meldrix-sig-" + std::to_string(::getpid()));
  fs::remove(out);
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &old), 0);
  sigset_t blocked, oldMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &oldMask);
  const std::string temp = out.string() + ".tmp";
  EXPECT_EQ(SpawnDetached("grep -E '^Sig(Ign|Blk)' /proc/self/status > '" + temp + "'; mv '" +
                          temp + "' '" + out.string() + "'"),
            0);
  ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  ::sigaction(SIGPIPE, &old, nullptr);
  for (int i = 0; i < 500 && !fs::exists(out); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string ignored = StatusField(out.string(), "SigIgn");
  const std::string blockedText = StatusField(out.string(), "SigBlk");
  ASSERT_FALSE(ignored.empty());
  const unsigned long long ignoreMask = std::stoull(ignored, nullptr, 16);
  const unsigned long long blockMask = std::stoull(blockedText, nullptr, 16);
  EXPECT_EQ(ignoreMask & (1ULL << (SIGPIPE - 1)), 0u) << ignored;
  EXPECT_EQ(blockMask & (1ULL << (SIGUSR1 - 1)), 0u) << blockedText;
  fs::remove(out);
}

}  // namespace
}  // namespace meldrix
