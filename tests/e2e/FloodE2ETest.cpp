// While the program drains a flood of lines from its socket source, an Ilper
// alarm device on a serial line still gets every telegram acknowledged in
// time, and afterwards every flood line and every alarm reached Korvane
// exactly once, the flood lines in the order they were sent.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <stop_token>
#include <thread>

#include "e2e/E2eHarness.h"
#include "support/FreePort.h"
#include "support/Telegrams.h"

namespace meldrix::testing {
namespace {

// An alarm device waits this long for its ACK before it gives the telegram
// up as lost and repeats it: the program must answer within it even while it
// is busy with a flood.
constexpr auto kIlperAckTime = std::chrono::milliseconds(1000);

// The flood: lines in small blocks at a steady pace, as a busy peer writes
// them, for as long as the device talks (but never more than kMaxFloodLines,
// so that a slow build still drains it in a few seconds).
constexpr int kFloodBlockLines = 50;
constexpr auto kFloodBlockPause = std::chrono::milliseconds(25);
constexpr int kMaxFloodLines = 3000;

std::string FloodLine(int n) {
  char line[32];
  std::snprintf(line, sizeof line, "FLOOD %06d\r\n", n);
  return line;
}

// A blocking TCP connection to the program's socket source.
class FloodClient {
 public:
  explicit FloodClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && WaitUntil([&] {
                   return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
                 });
    int on = 1;
    if (connected_) ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~FloodClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Connected() const { return connected_; }
  bool SendAll(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
      ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

TEST(FloodE2eTest, IlperTelegramsAreAcknowledgedInTimeWhileAFloodDrains) {
  E2eSetup setup;
  PseudoTerminal device;
  const int port = FreePort();
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n[Ports]\nCOM3=" + device.SlavePath() +
                    "\n[InSource1]\nName=Device\nSource=1\nPort=2\nBaud=9600\nMode=0\nProtocol=3\n"
                    "[InSource2]\nName=Net\nSource=5\nSocketPort=" + std::to_string(port) +
                    "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  auto diagnostics = [&] { return meldrix.Output() + meldrix.Errors(); };
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << diagnostics();
  FloodClient client(port);
  ASSERT_TRUE(client.Connected());

  std::atomic<int> sent{0};
  std::atomic<bool> sendFailed{false};
  std::jthread flood([&](std::stop_token stop) {
    while (!stop.stop_requested() && sent < kMaxFloodLines) {
      std::string block;
      for (int i = 0; i < kFloodBlockLines; ++i) block += FloodLine(sent + i);
      if (!client.SendAll(block)) {
        sendFailed = true;
        return;
      }
      sent += kFloodBlockLines;
      std::this_thread::sleep_for(kFloodBlockPause);
    }
  });
  // The device starts once the program is busy delivering the flood.
  ASSERT_TRUE(setup.WaitForCommand("FLOOD 000000")) << diagnostics();

  constexpr int kTelegrams = 3;
  for (int t = 1; t <= kTelegrams; ++t) {
    const std::string n = std::to_string(t);
    ASSERT_TRUE(device.Write(IlperTelegram({"A" + n, "5FEE6600", "Brand", "Halle " + n, "7" + n})));
    EXPECT_EQ(device.ReadAnswer(kIlperAckTime), std::string(1, ACK))
        << "telegram " << t << " after " << sent.load() << " flood lines";
  }
  flood.request_stop();
  flood.join();
  ASSERT_FALSE(sendFailed);
  const int lines = sent;
  ::testing::Test::RecordProperty("flood_lines", lines);

  auto arrived = [&] {
    return setup.SentCommands("FLOOD ").size() >= static_cast<std::size_t>(lines) &&
           setup.SentCommands(";Brand;Halle ").size() >= kTelegrams;
  };
  EXPECT_TRUE(WaitUntil(arrived)) << setup.SentCommands("FLOOD ").size() << " of " << lines;
  EXPECT_EQ(meldrix.Stop(), 0);

  std::vector<std::string> expected;
  for (int i = 0; i < lines; ++i) {
    std::string line = FloodLine(i);
    expected.push_back("[send(*|4711|" + line.substr(0, line.size() - 2) + "|||||)]");
  }
  const auto floodSent = setup.SentCommands("FLOOD ");
  EXPECT_EQ(floodSent.size(), expected.size());
  if (floodSent != expected) {  // the first difference, not thousands of lines
    auto mismatch = std::mismatch(floodSent.begin(), floodSent.end(), expected.begin(), expected.end());
    ADD_FAILURE() << "flood lines differ from #" << (mismatch.first - floodSent.begin()) << ": "
                  << (mismatch.first != floodSent.end() ? *mismatch.first : "(none)");
  }
  for (int t = 1; t <= kTelegrams; ++t) {
    const std::string n = std::to_string(t);
    const auto alarm = setup.SentCommands(";Brand;Halle " + n + ";7" + n + "|");
    ASSERT_EQ(alarm.size(), 1u) << "telegram " << t;
    EXPECT_EQ(alarm[0].rfind("[send(*|4711|A" + n + ";", 0), 0u) << alarm[0];
  }
}

}  // namespace
}  // namespace meldrix::testing
