// meldrix-trace as a technician runs it, fed by the process-wide trace
// functions of this test process.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "util/Trace.h"

extern char** environ;

namespace meldrix {
namespace {

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

bool WaitForSocket(const std::string& path) {
  TraceEndpoint endpoint;
  endpoint.path = path;
  for (int i = 0; i < 500; ++i) {
    TracePipe probe;
    if (probe.Open(endpoint)) return true;
    usleep(10'000);
  }
  return false;
}

class TraceToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("trace-tool-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    if (old) saved_ = old;
    hadRuntime_ = old != nullptr;
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  }
  void TearDown() override {
    if (hadRuntime_) setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    SetTraceConfigFile("");  // forget the temporary endpoint
    std::filesystem::remove_all(folder_);
  }
  std::string SocketPath() const { return (folder_ / "ostravel.TRAX4").string(); }

  std::filesystem::path folder_;
  std::string saved_;
  bool hadRuntime_ = false;
};

TEST_F(TraceToolTest, ShowsTheTextsAndRawBytesItsMaskAsksFor) {
  TraceTool tool({"0xC"});
  ASSERT_TRUE(WaitForSocket(SocketPath()));
  SetTraceConfigFile("");  // the next trace call polls the tool at once

  ASSERT_EQ(GetTraceMask(), 0xCu);
  TraceMessage(kTraceMail, "mail text %d", 1);  // not wanted
  TraceMessage(kTraceProtocolState, " Siedle(%d)", 1);
  if (GetTraceMask() & kTraceProtocolBytes) {
    for (unsigned char b : {0x02, 0x01, 0x4A}) TraceBytes(false, b);
  }
  TraceMessage(kTraceProtocolBytes, "T\xFCrruf");  // Windows-1252 ü
  TraceAlert(kTraceAlertCrash);

  std::string out = tool.ReadUntil("ALERT");
  EXPECT_EQ(out, " Siedle(1)\nRX 02 01 4A\nT\xC3\xBCrruf\nALERT 800000FF\n");
}

TEST_F(TraceToolTest, SendsNothingTheMaskDoesNotAskFor) {
  TraceTool tool({"-c", "0x4"});
  ASSERT_TRUE(WaitForSocket(SocketPath()));
  SetTraceConfigFile("");

  ASSERT_EQ(GetTraceMask(), 0x4u);
  EXPECT_FALSE(GetTraceMask() & kTraceProtocolBytes);  // so callers send no raw bytes
  TraceMessage(kTraceProtocolBytes, "RX(%02X)", 2);
  TraceMessage(kTraceProtocolState | kTraceProtocolBytes, "both");
  TraceMessage(kTraceProtocolState, "last");
  std::string out = tool.ReadUntil("last");
  EXPECT_EQ(out, "[00000004] last\n");
}

}  // namespace
}  // namespace meldrix

namespace meldrix {
namespace {

uint16_t FreeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

TEST(TraceToolTcpTest, RemoteServerGetsTheSameMessagesOverTcp) {
  std::string server = "127.0.0.1:" + std::to_string(FreeTcpPort());
  TraceTool tool({"--tcp", server, "0x4"});
  TraceChannel::Options options;
  options.endpoint = [&] { return TraceEndpointFor(server); };
  int64_t now = 0;
  options.clock = [&] { return now; };
  TraceChannel channel(std::move(options));
  for (int i = 0; i < 500 && channel.GetMask() == 0; ++i) {
    usleep(10'000);
    now += kTracePollIntervalMs;
  }
  ASSERT_EQ(channel.GetMask(), 0x4u);
  channel.SendText(std::string(40000, 'a') + "end");
  channel.Bytes(true, 0x06);
  std::string out = tool.ReadUntil("TX 06\n");
  EXPECT_EQ(out, std::string(40000, 'a') + "end\nTX 06\n");
}

}  // namespace
}  // namespace meldrix
