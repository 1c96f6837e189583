#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/Spawn.h"

namespace meldrix {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const fs::path& path) {
  for (int i = 0; i < 300; ++i) {
    if (fs::exists(path) && fs::file_size(path) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(Spawn, RunsThroughTheShellWithoutInheritedDescriptorsAndReaps) {
  fs::path dir = fs::temp_directory_path() / ("meldrix-spawn-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  int leaked = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC: must still not reach the child
  ASSERT_GE(leaked, 3);
  fs::path out = dir / "out.txt";
  std::string command = "echo \"$((1+2)) $MELDRIX_SPAWN_TEST\" > '" + out.string() +
                        "'; [ -e /proc/self/fd/" + std::to_string(leaked) + " ] && echo leaked >> '" +
                        out.string() + "'";
  ::setenv("MELDRIX_SPAWN_TEST", "env", 1);
  EXPECT_EQ(SpawnDetached(command), 0);
  ASSERT_TRUE(WaitFor(out));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "3 env\n");
  ::close(leaked);
  // The child has been reaped: no child is left to wait for.
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(SpawnDetached(std::string("a\0b", 3)), EINVAL);
  fs::remove_all(dir);
  ::unsetenv("MELDRIX_SPAWN_TEST");
}

}  // namespace
}  // namespace meldrix
