// The trace channel against an in-process trace server on a temporary socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "support/TempFolder.h"
#include "util/Trace.h"

namespace meldrix {
namespace {

// Accepts clients one after another, answers polls with `mask` and records
// every other message.
class FakeTraceServer {
 public:
  FakeTraceServer(std::string path, uint32_t mask) : path_(std::move(path)), mask_(mask) {
    TraceEndpoint endpoint;
    endpoint.path = path_;
    std::string error;
    listenFd_ = ListenTraceEndpoint(endpoint, error);
    EXPECT_GE(listenFd_, 0) << error;
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeTraceServer() { Stop(); }

  void Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    shutdown(listenFd_, SHUT_RDWR);
    {
      std::lock_guard guard(lock_);
      if (clientFd_ >= 0) shutdown(clientFd_, SHUT_RDWR);
    }
    thread_.join();
    close(listenFd_);
    unlink(path_.c_str());
  }

  // Waits until `count` messages (polls not counted) have arrived.
  std::vector<std::string> WaitFor(size_t count) {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::seconds(5), [&] { return messages_.size() >= count; });
    return messages_;
  }
  std::vector<std::string> Messages() {
    std::lock_guard guard(lock_);
    return messages_;
  }
  int Connections() const { return connections_; }
  int Polls() const { return polls_; }

 private:
  void Serve() {
    while (!stop_) {
      int fd = accept(listenFd_, nullptr, nullptr);
      if (fd < 0) return;
      ++connections_;
      {
        std::lock_guard guard(lock_);
        clientFd_ = fd;
      }
      std::string buffer(65536, '\0');
      for (;;) {
        ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        std::string message(buffer.data(), static_cast<size_t>(n));
        if (message == std::string(1, '\x02')) {
          ++polls_;
          char answer[8] = {};
          for (int i = 0; i < 4; ++i) answer[i] = static_cast<char>(mask_ >> (8 * i));
          send(fd, answer, sizeof answer, MSG_NOSIGNAL);
          continue;
        }
        std::lock_guard guard(lock_);
        messages_.push_back(message);
        changed_.notify_all();
      }
      std::lock_guard guard(lock_);
      close(fd);
      clientFd_ = -1;
    }
  }

  std::string path_;
  uint32_t mask_;
  int listenFd_ = -1;
  int clientFd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> polls_{0};
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> messages_;
  std::thread thread_;
};

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

  void Message(TraceChannel& channel, uint32_t categories, const char* format, ...)
      __attribute__((format(printf, 4, 5))) {
    va_list args;
    va_start(args, format);
    channel.Message(categories, format, args);
    va_end(args);
  }

  testing::TempFolder folder_;
  std::string path_ = folder_.File("trace.sock");
  std::atomic<int64_t> now_{1'000'000};
  int endpointLookups_ = 0;
};

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST_F(TraceChannelTest, WithoutServerNothingIsSentAndALaterServerIsFoundOnTheNextDuePoll) {
  TraceChannel channel(Options());
  EXPECT_EQ(channel.GetMask(), 0u);
  Message(channel, 0, "lost %d", 1);

  FakeTraceServer server(path_, 0x4);
  now_ += kTracePollIntervalMs - 1;
  EXPECT_EQ(channel.GetMask(), 0u);  // not due yet: no attempt
  EXPECT_EQ(server.Connections(), 0);

  now_ += 1;
  EXPECT_EQ(channel.GetMask(), 0x4u);
  EXPECT_EQ(server.Polls(), 1);
  EXPECT_EQ(channel.GetMask(), 0x4u);  // the stored mask, no second poll
  EXPECT_EQ(server.Polls(), 1);
  EXPECT_EQ(endpointLookups_, 1);  // the name is worked out once
  EXPECT_TRUE(server.Messages().empty());
}

TEST_F(TraceChannelTest, TextGoesOutOnlyWhenEveryCategoryBitIsWanted) {
  FakeTraceServer server(path_, 0x4);
  TraceChannel channel(Options());
  Message(channel, 0xC, "blocked");
  Message(channel, 0x4, " Siedle(%d)", 1);
  auto messages = server.WaitFor(2);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], Bytes({9, 4, 0, 0, 0}));
  EXPECT_EQ(messages[1], std::string("\x04 Siedle(1)", 11) + '\0');
}

TEST_F(TraceChannelTest, LongTextIsCutIntoPiecesOfThirtyThousandBytes) {
  FakeTraceServer server(path_, 0xFFFFFFFF);
  TraceChannel channel(Options());
  ASSERT_EQ(channel.GetMask(), 0xFFFFFFFFu);
  std::string text(70000, 'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  channel.SendText(text);
  auto messages = server.WaitFor(3);
  ASSERT_EQ(messages.size(), 3u);
  std::string joined;
  for (const std::string& m : messages) {
    ASSERT_EQ(m[0], '\x04');
    joined += m.substr(1);
  }
  EXPECT_EQ(messages[0].size(), 30001u);
  EXPECT_EQ(messages[1].size(), 30001u);
  EXPECT_EQ(messages[2].size(), 10002u);
  EXPECT_EQ(joined, text + '\0');
}

TEST_F(TraceChannelTest, RawBytesAndAlertsUseTheirMessageForms) {
  FakeTraceServer server(path_, 0x8);
  TraceChannel channel(Options());
  ASSERT_EQ(channel.GetMask(), 0x8u);
  channel.Bytes(false, 0x02);
  channel.Bytes(true, 0xFF);
  channel.Alert(kTraceAlertCrash);
  auto messages = server.WaitFor(3);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], Bytes({7, 0x02}));
  EXPECT_EQ(messages[1], Bytes({8, 0xFF}));
  EXPECT_EQ(messages[2], Bytes({5, 0xFF, 0, 0, 0x80}));
}

TEST_F(TraceChannelTest, BrokenConnectionIsDroppedAndReopenedAtTheNextDuePoll) {
  TraceChannel channel(Options());
  {
    FakeTraceServer first(path_, 0x4);
    ASSERT_EQ(channel.GetMask(), 0x4u);
  }
  // The first send after the server went away finds the connection broken
  // (the peer closed it), the next one finds none and clears the mask.
  Message(channel, 0x4, "gone");
  Message(channel, 0x4, "gone");
  EXPECT_EQ(channel.GetMask(), 0u);

  FakeTraceServer second(path_, 0x4);
  now_ += kTracePollIntervalMs;
  EXPECT_EQ(channel.GetMask(), 0x4u);
  Message(channel, 0x4, "back");
  auto messages = second.WaitFor(2);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], std::string("\x04" "back", 5) + '\0');
}

TEST_F(TraceChannelTest, ShutChannelSendsNothingAndReportsNoMask) {
  FakeTraceServer server(path_, 0xFF);
  TraceChannel channel(Options());
  ASSERT_EQ(channel.GetMask(), 0xFFu);
  channel.Shut();
  EXPECT_EQ(channel.GetMask(), 0u);
  channel.SendText("after");
  channel.Bytes(false, 1);
  channel.Alert(1);
  now_ += kTracePollIntervalMs;
  EXPECT_EQ(channel.GetMask(), 0u);
  EXPECT_EQ(server.Polls(), 1);
  EXPECT_TRUE(server.Messages().empty());
}

TEST_F(TraceChannelTest, TextsFromManyThreadsStayWholeAndFollowTheirAnnouncement) {
  FakeTraceServer server(path_, 0xFFFFFFFF);
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
  auto messages = server.WaitFor(2 * kThreads * kEach);
  ASSERT_EQ(messages.size(), size_t{2 * kThreads * kEach});
  std::map<int, int> next;
  for (size_t i = 0; i < messages.size(); i += 2) {
    ASSERT_EQ(messages[i][0], '\x09');
    int t = __builtin_ctz(static_cast<unsigned char>(messages[i][1]));
    std::string expected = "\x04thread " + std::to_string(t) + " text " + std::to_string(next[t]++);
    EXPECT_EQ(messages[i + 1], expected + '\0');
  }
}

TEST(TraceEndpointTest, LocalServerIsTheRuntimeSocketAndOthersAreTcpHosts) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/4711", 1);
  EXPECT_EQ(TraceEndpointFor(".").path, "/run/user/4711/ostravel.TRAX4");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(TraceEndpointFor(".").path, "/tmp/ostravel.TRAX4");
  if (old) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);

  TraceEndpoint host = TraceEndpointFor("leitstelle");
  EXPECT_EQ(host.kind, TraceEndpoint::Kind::Tcp);
  EXPECT_EQ(host.host, "leitstelle");
  EXPECT_EQ(host.port, kTraceTcpPort);
  TraceEndpoint withPort = TraceEndpointFor("10.0.0.5:4711");
  EXPECT_EQ(withPort.host, "10.0.0.5");
  EXPECT_EQ(withPort.port, 4711);
  TraceEndpoint v6 = TraceEndpointFor("[::1]:99");
  EXPECT_EQ(v6.host, "::1");
  EXPECT_EQ(v6.port, 99);
  EXPECT_EQ(TraceEndpointFor("fe80::1").host, "fe80::1");
}

}  // namespace
}  // namespace meldrix
