#include "sources/CallMonitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/CallMonitorStandIn.h"
#include "support/FreePort.h"

namespace meldrix::testing {
namespace {

TEST(CallMonitorLine, OnlyRingGivesTheTwoNumbers) {
  struct Case {
    const char* line;
    std::optional<std::pair<std::string, std::string>> numbers;
  };
  const Case cases[] = {
      {"06.12.26 14:31:05;RING;0;0711123456;0711987654;SIP0;", {{"0711123456", "0711987654"}}},
      {"06.12.26 14:31:05;RING;1;;0711987654;SIP0;", {{"", "0711987654"}}},  // suppressed
      {"06.12.26 14:31:05;RING;2;0711123456;0711987654", {{"0711123456", "0711987654"}}},
      {"06.12.26 14:31:05;CALL;0;4;0711987654;0711123456;SIP0;", std::nullopt},
      {"06.12.26 14:31:09;CONNECT;0;4;0711123456;", std::nullopt},
      {"06.12.26 14:31:20;DISCONNECT;0;11;", std::nullopt},
      {"06.12.26 14:31:05;RING;0;0711123456", std::nullopt},  // cut short
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    auto ring = ParseCallMonitorLine(c.line);
    ASSERT_EQ(ring.has_value(), c.numbers.has_value()) << c.line;
    if (ring) {
      EXPECT_EQ(ring->calling, c.numbers->first) << c.line;
      EXPECT_EQ(ring->called, c.numbers->second) << c.line;
    }
  }
}

TEST(CallMonitorLine, EndpointIsTcpHostPort) {
  auto endpoint = ParseCallMonitorEndpoint(" tcp:fritz.box:1012 ");
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->host, "fritz.box");
  EXPECT_EQ(endpoint->port, 1012);
  for (const char* bad : {"", "fritz.box:1012", "tcp:fritz.box", "tcp::1012", "tcp:host:0",
                          "tcp:host:65536", "tcp:host:10x", "unix:/run/x"})
    EXPECT_FALSE(ParseCallMonitorEndpoint(bad)) << bad;
}

TEST(CallMonitorLine, SplitterJoinsPiecesAndDropsOverlongLines) {
  CallMonitorLineSplitter splitter;
  std::vector<std::string> lines;
  auto collect = [&](std::string_view line) { lines.emplace_back(line); };
  // Pieces cut anywhere, CR LF and bare LF.
  EXPECT_EQ(splitter.Feed("a;RI", collect), 0u);
  EXPECT_EQ(splitter.Feed("NG\r", collect), 0u);
  EXPECT_EQ(splitter.Feed("\nb\nc", collect), 0u);
  EXPECT_EQ(lines, (std::vector<std::string>{"a;RING", "b"}));
  // A line at the limit passes; one byte more is dropped up to its end, also
  // when it arrives in pieces, and the next line is whole.
  lines.clear();
  splitter.Reset();
  const std::string longest(CallMonitorLineSplitter::kMaxLine, 'x');
  EXPECT_EQ(splitter.Feed(longest + "\r\n", collect), 0u);
  EXPECT_EQ(splitter.Feed(longest, collect), 0u);
  EXPECT_EQ(splitter.Feed("yy", collect), 1u);
  EXPECT_EQ(splitter.Feed(std::string(10000, 'z'), collect), 0u);
  EXPECT_EQ(splitter.Feed("\nnext\n", collect), 0u);
  EXPECT_EQ(lines, (std::vector<std::string>{longest, "next"}));
}

// The monitor on a real loop against a stand-in router.
class CallMonitorLoop : public ::testing::Test {
 protected:
  bool RunUntil(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      loop_.RunOnce(20);
    }
    return true;
  }
  std::unique_ptr<CCallMonitor> Start(int port) {
    return std::make_unique<CCallMonitor>(
        loop_, CallMonitorEndpoint{"127.0.0.1", static_cast<std::uint16_t>(port)},
        [this](const CallMonitorRing& ring) { calls_.push_back(ring.calling + "-" + ring.called); },
        [this](const std::string& text, bool error) { logs_.push_back((error ? "E " : "I ") + text); });
  }
  std::size_t LogsContaining(const std::string& text) const {
    std::size_t count = 0;
    for (const auto& line : logs_) count += line.find(text) != std::string::npos;
    return count;
  }

  EventLoop loop_;
  std::vector<std::string> calls_;
  std::vector<std::string> logs_;
};

TEST_F(CallMonitorLoop, ReportsRingsAndResumesAfterALoss) {
  CallMonitorStandIn router;
  auto monitor = Start(router.Port());
  ASSERT_TRUE(router.AcceptClient());
  ASSERT_TRUE(RunUntil([&] { return monitor->Connected(); }));
  ASSERT_TRUE(router.Send("06.12.26 14:30:00;CALL;0;4;1;2;SIP0;\r\n"));
  ASSERT_TRUE(router.Ring("0711123456", "0711987654"));
  ASSERT_TRUE(router.Ring("", "0711987654", 1));
  ASSERT_TRUE(RunUntil([&] { return calls_.size() == 2; }));
  EXPECT_EQ(calls_, (std::vector<std::string>{"0711123456-0711987654", "-0711987654"}));
  EXPECT_TRUE(logs_.empty()) << logs_.front();

  // The router goes away for a while: one loss line, however many attempts
  // fail, then one recovery line; the connection that had delivered lines
  // starts the pauses again at 1 s.
  router.DropClient();
  router.StopListening();
  ASSERT_TRUE(RunUntil([&] { return !monitor->Connected(); }));
  EXPECT_EQ(monitor->NextPauseMs(), 2 * CCallMonitor::kFirstPauseMs);
  ASSERT_TRUE(RunUntil([&] { return monitor->NextPauseMs() == 4 * CCallMonitor::kFirstPauseMs; }));
  router.Listen();
  // The loop must run for the monitor's next attempt to come.
  ASSERT_TRUE(RunUntil([&] { return router.AcceptClient(std::chrono::milliseconds(0)); }));
  ASSERT_TRUE(RunUntil([&] { return monitor->Connected(); }));
  ASSERT_TRUE(router.Ring("0301", "0302"));
  ASSERT_TRUE(RunUntil([&] { return calls_.size() == 3; }));
  EXPECT_EQ(calls_.back(), "0301-0302");
  EXPECT_EQ(LogsContaining("E ISDN call monitor 127.0.0.1:" + std::to_string(router.Port()) +
                           ": connection lost (closed by the peer)"),
            1u);
  EXPECT_EQ(LogsContaining("connected again"), 1u);
  EXPECT_EQ(logs_.size(), 2u);
}

TEST_F(CallMonitorLoop, UnreachableMonitorIsReportedOnceAndPausesGrow) {
  auto monitor = Start(FreePort());
  ASSERT_TRUE(RunUntil([&] { return monitor->NextPauseMs() == 4 * CCallMonitor::kFirstPauseMs; }));
  EXPECT_FALSE(monitor->Connected());
  ASSERT_EQ(logs_.size(), 1u);
  EXPECT_NE(logs_[0].find("cannot connect (Connection refused); trying again"), std::string::npos) << logs_[0];
}

TEST_F(CallMonitorLoop, AbandonedMonitorLeavesNothingOnTheLoop) {
  CallMonitorStandIn router;
  auto monitor = Start(router.Port());
  ASSERT_TRUE(router.AcceptClient());
  ASSERT_TRUE(RunUntil([&] { return monitor->Connected(); }));
  monitor.reset();
  EXPECT_EQ(loop_.MillisecondsToNextTimer(), -1);
  ASSERT_TRUE(router.Ring("1", "2"));
  loop_.RunOnce(50);  // a watch left behind would touch the freed monitor
  EXPECT_TRUE(calls_.empty());
}

}  // namespace
}  // namespace meldrix::testing
