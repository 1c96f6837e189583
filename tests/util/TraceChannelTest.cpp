// The trace channel against the meldrix-trace tool on a temporary socket.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "util/TraceToolRunner.h"

namespace meldrix {
namespace {

class TraceChannelTest : public ::testing::Test {
 protected:
  TraceChannel::Options Options() {
    TraceChannel::Options options;
    options.endpoint = [this] {
      ++endpointLookups_;
      TraceEndpoint endpoint;
      endpoint.path = path_;
      return endpoint;
    };
    options.clock = [this] { return now_.load(); };
    return options;
  }
  // The tool on our socket, showing each text's categories and answering polls with `mask`.
  std::unique_ptr<TraceTool> Start(const char* mask) {
    auto tool = std::make_unique<TraceTool>(std::vector<std::string>{"-c", "--socket", path_, mask});
    EXPECT_TRUE(WaitForSocket(path_));
    return tool;
  }
  void Message(TraceChannel& channel, uint32_t categories, const char* format, ...)
      __attribute__((format(printf, 4, 5))) {
    va_list args;
    va_start(args, format);
    channel.Message(categories, format, args);
    va_end(args);
  }
  testing::TempFolder socketFolder_;
  std::string path_ = socketFolder_.File("trace.sock");
  std::atomic<int64_t> now_{1'000'000};
  int endpointLookups_ = 0;
};

TEST_F(TraceChannelTest, WithoutServerNothingIsSentAndALaterServerIsFoundOnTheNextDuePoll) {
  TraceChannel channel(Options());
  EXPECT_EQ(channel.GetMask(), 0u);
  Message(channel, 0, "lost %d", 1);
  auto tool = Start("0x4");
  now_ += kTracePollIntervalMs - 1;
  EXPECT_EQ(channel.GetMask(), 0u);  // not due yet: no attempt
  now_ += 1;
  EXPECT_EQ(channel.GetMask(), 0x4u);
  EXPECT_EQ(endpointLookups_, 1);  // the name is worked out once
  Message(channel, 0x4, "first");
  EXPECT_EQ(tool->ReadUntil("first"), "[00000004] first\n");  // nothing held back
}

TEST_F(TraceChannelTest, BrokenConnectionIsDroppedAndReopenedAtTheNextDuePoll) {
  TraceChannel channel(Options());
  {
    auto first = Start("0x4");
    ASSERT_EQ(channel.GetMask(), 0x4u);
  }
  // The first send after the server went away finds the connection broken
  // (the peer closed it), the next one finds none and clears the mask.
  Message(channel, 0x4, "gone");
  Message(channel, 0x4, "gone");
  EXPECT_EQ(channel.GetMask(), 0u);
  auto second = Start("0x4");
  now_ += kTracePollIntervalMs;
  EXPECT_EQ(channel.GetMask(), 0x4u);
  Message(channel, 0x4, "back");
  EXPECT_EQ(second->ReadUntil("back"), "[00000004] back\n");
}

TEST_F(TraceChannelTest, ShutChannelSendsNothingAndReportsNoMask) {
  auto tool = Start("0xFF");
  TraceChannel channel(Options());
  ASSERT_EQ(channel.GetMask(), 0xFFu);
  channel.Shut();
  EXPECT_EQ(channel.GetMask(), 0u);
  channel.SendText("after");
  channel.Bytes(false, 1);
  channel.Alert(1);
  now_ += kTracePollIntervalMs;
  EXPECT_EQ(channel.GetMask(), 0u);
  // A second channel's text is the first thing the tool shows.
  TraceChannel other(Options());
  ASSERT_EQ(other.GetMask(), 0xFFu);
  other.SendText("other");
  EXPECT_EQ(tool->ReadUntil("other"), "[00000000] other\n");
}

TEST_F(TraceChannelTest, TextsFromManyThreadsStayWholeAndFollowTheirAnnouncement) {
  auto tool = Start("0xFFFFFFFF");
  TraceChannel channel(Options());
  ASSERT_NE(channel.GetMask(), 0u);
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) Message(channel, 1u << t, "thread %d text %d", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  Message(channel, 0x100, "end");
  std::istringstream out(tool->ReadUntil("] end\n"));
  std::map<int, int> next;
  int lines = 0;
  for (std::string line; std::getline(out, line) && line != "[00000100] end"; ++lines) {
    unsigned category = 0;
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "[%8X] thread %d text %d", &category, &t, &i), 3) << line;
    EXPECT_EQ(category, 1u << t) << line;
    EXPECT_EQ(i, next[t]++) << line;
  }
  EXPECT_EQ(lines, kThreads * kEach);
}

// The local server's socket in XDG_RUNTIME_DIR is what the trace tool tests use.
TEST(TraceEndpointTest, OtherServersAreTcpHosts) {
  struct Row { const char* name; const char* host; int port; };
  for (const Row& row : {Row{"leitstelle", "leitstelle", kTraceTcpPort}, Row{"10.0.0.5:4711", "10.0.0.5", 4711},
                         Row{"[::1]:99", "::1", 99}, Row{"fe80::1", "fe80::1", kTraceTcpPort}}) {
    TraceEndpoint endpoint = TraceEndpointFor(row.name);
    EXPECT_EQ(endpoint.kind, TraceEndpoint::Kind::Tcp) << row.name;
    EXPECT_EQ(endpoint.host, row.host) << row.name;
    EXPECT_EQ(endpoint.port, row.port) << row.name;
  }
}

// A TCP peer announcing more than the largest message is broken, not waited for.
TEST(TraceEndpointTest, FrameLengthsBeyondTheLimitAreRefused) {
  EXPECT_EQ(TraceFrameLength(TraceFrameHeader(kTraceMaxFrame)), kTraceMaxFrame);
  EXPECT_EQ(TraceFrameLength(TraceFrameHeader(0)), 0u);
  EXPECT_EQ(TraceFrameLength(TraceFrameHeader(kTraceMaxFrame + 1)), std::nullopt);
  EXPECT_EQ(TraceFrameLength(std::string("\xFF\xFF\xFF\xFF", 4)), std::nullopt);
  EXPECT_EQ(TraceFrameLength("\x01\x00\x00"), std::nullopt);  // not a whole header yet
}

}  // namespace
}  // namespace meldrix
