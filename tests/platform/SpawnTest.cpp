#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Spawn.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

using namespace testing;

TEST(Spawn, RunsThroughTheShellWithoutInheritedDescriptorsAndReaps) {
  TempFolder folder;
  int leaked = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC: must still not reach the child
  ASSERT_GE(leaked, 3);
  const std::string out = folder.File("out.txt");
  // The last line is written last: once "done" is there, the rest is too.
  const std::string command = "{ echo \"$((1+2)) $MELDRIX_SPAWN_TEST\"; [ -e /proc/self/fd/" +
                              std::to_string(leaked) + " ] && echo leaked; echo done; } > '" + out +
                              ".tmp'; mv '" + out + ".tmp' '" + out + "'";
  ::setenv("MELDRIX_SPAWN_TEST", "env", 1);
  EXPECT_EQ(SpawnDetached(command), 0);
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(out).empty(); }));
  EXPECT_EQ(ReadFile(out), "3 env\ndone\n");
  ::close(leaked);
  // The program reaps the child itself: soon no child is left, not even a
  // zombie (looked at without reaping it here).
  EXPECT_TRUE(WaitUntil([] {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
  }));
  EXPECT_EQ(SpawnDetached(std::string("a\0b", 3)), EINVAL);
  ::unsetenv("MELDRIX_SPAWN_TEST");
}

}  // namespace
}  // namespace meldrix
