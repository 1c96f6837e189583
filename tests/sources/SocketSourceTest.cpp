#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/socket.h>

#include "SocketTestHelpers.h"
#include "platform/TcpSocket.h"
#include "sources/SocketSource.h"
#include "support/FreePort.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

using testing::FreePort;
using testing::ReadUntil;
using testing::WaitUntil;
using PollResult = CSocketBufferList::PollResult;

// Polls until count bytes arrived or the time is up; returns them.
std::string PollBytes(CSocketSourceListener& source, std::size_t count,
                      std::chrono::seconds limit = std::chrono::seconds(10)) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
    if (source.Poll([&](char c) {
          got += c;
          return true;
        }) == PollResult::Empty) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return got;
}

TEST(SocketSourceTest, SeveralConnectionsAndRestartKeepWhatWasNotPolled) {
  CSocketSourceListener source;
  int error = 0;
  ASSERT_TRUE(source.Start(0, error));
  const std::uint16_t port = source.Port();
  {
    CSocketClient a, b;
    ASSERT_TRUE(a.Connect("127.0.0.1", port, 2000));
    ASSERT_TRUE(b.Connect("127.0.0.1", port, 2000));
    ASSERT_TRUE(a.Send("AAAA\n"));
    ASSERT_TRUE(b.Send("BBBB\n"));
    WaitUntil([&] { return source.Buffers().ByteCount() >= 10; });
  }
  EXPECT_TRUE(WaitUntil([&] { return source.ConnectionCount() == 0; }));  // peers that left free their slots
  source.Stop();
  EXPECT_FALSE(source.IsRunning());
  ASSERT_TRUE(source.Start(port, error)) << error;  // address reuse allows the same port again
  const std::string got = PollBytes(source, 10);
  EXPECT_TRUE(got == "AAAA\nBBBB\n" || got == "BBBB\nAAAA\n") << got;
}

// A connection beyond the limit is refused with a log line naming its peer;
// a silent connection is closed after the idle time.
TEST(SocketSourceTest, RefusedPeerIsLoggedAndIdleConnectionClosed) {
  CSocketSourceListener source(CSocketBufferList::kDefaultMaxBytes, 1);
  int error = 0;
  ASSERT_TRUE(source.Start(0, error, 1000));
  CSocketClient first, second;
  ASSERT_TRUE(first.Connect("127.0.0.1", source.Port(), 2000));
  ASSERT_TRUE(first.Send("a"));
  EXPECT_EQ(PollBytes(source, 1), "a");
  ASSERT_TRUE(second.Connect("127.0.0.1", source.Port(), 2000));
  std::vector<std::string> log;
  WaitUntil([&] { return !(log = source.TakeLogLines()).empty(); });
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("connection from 127.0.0.1:"), std::string::npos) << log[0];
  EXPECT_NE(log[0].find("refused"), std::string::npos) << log[0];
  // The first connection, silent since its byte, is closed by the source.
  EXPECT_TRUE(WaitUntil([&] { return source.ConnectionCount() == 0; }));
}

TEST(SocketBufferListTest, PollCutShortKeepsTheRestFirst) {
  CSocketBufferList list;
  ASSERT_TRUE(list.Append("abcdef", 6));
  ASSERT_TRUE(list.Append("gh", 2));
  std::string got;
  int budget = 3;  // then the poll has finished enough messages
  auto take = [&](char c) {
    got += c;
    return --budget != 0;
  };
  EXPECT_EQ(list.ProcessFirst(take), PollResult::Processed);
  EXPECT_EQ(got, "abc");
  EXPECT_EQ(list.ByteCount(), 5u);
  list.ProcessFirst(take);
  EXPECT_EQ(got, "abcdef");  // one block per poll
  list.ProcessFirst(take);
  EXPECT_EQ(got, "abcdefgh");
  EXPECT_EQ(list.ByteCount(), 0u);
}

TEST(SocketBufferListTest, ReceiveErrorEntryIsReportedAndRemoved) {
  CSocketBufferList list;
  list.AppendReceiveError();
  ASSERT_TRUE(list.Append("x", 1));
  EXPECT_EQ(list.ProcessFirst([](char) { return true; }), PollResult::ReceiveError);
  EXPECT_EQ(list.BlockCount(), 1u);
}

TEST(SocketBufferListTest, FullListHoldsTheWriterBackUntilPolled) {
  CSocketBufferList list(8);
  ASSERT_TRUE(list.Append("12345678", 8));
  std::atomic<bool> appended{false};
  std::thread writer([&] { appended = list.Append("9", 1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(appended);
  list.ProcessFirst([](char) { return true; });
  writer.join();
  EXPECT_TRUE(appended);
  EXPECT_EQ(list.ByteCount(), 1u);

  // A writer still waiting when the source closes gives up.
  ASSERT_TRUE(list.Append("2345678", 7));
  std::thread blocked([&] { appended = list.Append("xx", 2); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  list.Shutdown();
  blocked.join();
  EXPECT_FALSE(appended);
}

TEST(SocketBufferListTest, FloodingPeerIsSlowedNotDropped) {
  CSocketSourceListener source(64 * 1024);
  int error = 0;
  ASSERT_TRUE(source.Start(0, error));
  std::string sent;
  for (int i = 0; sent.size() < 1024 * 1024; ++i) sent += "line " + std::to_string(i) + "\n";
  std::thread writer([&] {
    CSocketClient client;
    if (client.Connect("127.0.0.1", source.Port(), 2000)) client.Send(sent);
    client.Close();
  });
  const std::string got = PollBytes(source, sent.size(), std::chrono::seconds(20));
  writer.join();
  EXPECT_LE(source.Buffers().ByteCount(), 64u * 1024);
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
}

TEST(SocketClientTest, SendReceiveAndBytesWaiting) {
  int error = 0;
  TcpSocket listener = TcpListen(0, error);
  ASSERT_TRUE(listener.IsOpen());
  CSocketClient client;
  ASSERT_TRUE(client.Connect("localhost", TcpLocalPort(listener), 2000)) << client.ErrorText();
  ASSERT_EQ(TcpWaitReadable(listener.Fd(), -1, 2000), TcpWaitResult::Ready);
  TcpSocket server = TcpAccept(listener, error);
  ASSERT_TRUE(server.IsOpen());

  ASSERT_TRUE(TcpSendAll(server, "<reply/>", 1000, error));
  EXPECT_EQ(ReadUntil(client, "<reply/>"), "<reply/>");
  ASSERT_TRUE(client.Send("<request/>"));
  ASSERT_EQ(TcpWaitReadable(server.Fd(), -1, 2000), TcpWaitResult::Ready);
  char buffer[64];
  EXPECT_EQ(TcpReceive(server, buffer, sizeof buffer, error), 10);
  EXPECT_EQ(std::string(buffer, 10), "<request/>");

  // The server closes: the client's graceful close ends at once.
  server.Close();
  const auto start = std::chrono::steady_clock::now();
  client.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_FALSE(client.Send("x"));
}

TEST(SocketClientTest, FailuresKeepTheirErrorTexts) {
  const auto freePort = static_cast<std::uint16_t>(FreePort());
  CSocketClient client;
  EXPECT_FALSE(client.Connect("127.0.0.1", freePort, 1000));
  EXPECT_EQ(client.ErrorText(), "connect(" + std::to_string(freePort) + ") failed (error " +
                                    std::to_string(client.LastError()) + ")\n");
  EXPECT_FALSE(client.IsConnected());

  // A listener whose backlog is full answers no more handshakes: the
  // time-out ends the attempt.
  int error = 0;
  TcpSocket full = TcpListen(0, error);
  ASSERT_EQ(::listen(full.Fd(), 0), 0);  // the shortest backlog
  const std::uint16_t fullPort = TcpLocalPort(full);
  std::vector<std::unique_ptr<CSocketClient>> queued;
  bool timedOut = false;
  for (int i = 0; i < 8 && !timedOut; ++i) {
    auto next = std::make_unique<CSocketClient>();
    const auto start = std::chrono::steady_clock::now();
    if (!next->Connect("127.0.0.1", fullPort, 200)) {
      EXPECT_EQ(next->ErrorText(), "connect(" + std::to_string(fullPort) + ") failed (timeout 200 msec)\n");
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
      timedOut = true;
    }
    queued.push_back(std::move(next));
  }
  EXPECT_TRUE(timedOut);

  EXPECT_FALSE(client.Connect("no-such-host.invalid", 25, 500));
  EXPECT_NE(client.ErrorText().find("failed"), std::string::npos);
}

}  // namespace
}  // namespace meldrix
