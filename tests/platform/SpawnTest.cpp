#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Spawn.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

using namespace testing;

// The "Name:" line of a /proc/<pid>/status text, without the name.
std::string StatusField(const std::string& statusPath, const std::string& name) {
  std::ifstream in(statusPath);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + ":", 0) == 0) return line.substr(name.size() + 1);
  return {};
}

// No child is left, not even a zombie (looked at without reaping it here).
bool NoChildLeft() {
  siginfo_t info{};
  return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
}

// The program ignores SIGPIPE and blocks its own signals; a command must
// inherit neither (a pipeline in it would never end on a closed reader), nor
// a descriptor opened without O_CLOEXEC.
TEST(Spawn, RunsThroughTheShellWithACleanStartAndReaps) {
  TempFolder folder;
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &old), 0);
  sigset_t blocked, oldMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &oldMask);
  ::setenv("MELDRIX_SPAWN_TEST", "env", 1);
  const std::string out = folder.File("out.txt");
  // The file appears by a rename: once it is there, it is complete.
  EXPECT_EQ(SpawnDetached("{ echo \"$((1+2)) $MELDRIX_SPAWN_TEST\"; [ -e /proc/self/fd/" + std::to_string(leaked) +
                          " ] && echo leaked; grep -E '^Sig(Ign|Blk)' /proc/self/status; } > '" + out + ".tmp'; mv '" +
                          out + ".tmp' '" + out + "'"),
            0);
  ::unsetenv("MELDRIX_SPAWN_TEST");
  ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  ::sigaction(SIGPIPE, &old, nullptr);
  ::close(leaked);
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(out).empty(); }));
  EXPECT_EQ(ReadFile(out).substr(0, 6), "3 env\n");
  EXPECT_EQ(ReadFile(out).find("leaked"), std::string::npos);
  EXPECT_EQ(std::stoull(StatusField(out, "SigIgn"), nullptr, 16) & (1ULL << (SIGPIPE - 1)), 0u);
  EXPECT_EQ(std::stoull(StatusField(out, "SigBlk"), nullptr, 16) & (1ULL << (SIGUSR1 - 1)), 0u);
  EXPECT_TRUE(WaitUntil(NoChildLeft));
  EXPECT_EQ(SpawnDetached(std::string("a\0b", 3)), EINVAL);
}

// Commands still running when the calls return cost no thread each.
TEST(Spawn, ManyCommandsNeitherThreadsNorZombies) {
  const int threadsBefore = std::stoi(StatusField("/proc/self/status", "Threads"));
  for (int i = 0; i < 300; ++i) ASSERT_EQ(SpawnDetached("sleep 3"), 0) << i;
  EXPECT_LE(std::stoi(StatusField("/proc/self/status", "Threads")), threadsBefore + 1) << threadsBefore;
  EXPECT_TRUE(NoChildLeft());
}

}  // namespace
}  // namespace meldrix
