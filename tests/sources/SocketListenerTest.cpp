#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/TcpSocket.h"
#include "sources/ConnectionPool.h"
#include "sources/SocketListener.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

using testing::WaitUntil;

TcpSocket ConnectTo(std::uint16_t port) {
  TcpConnectFailure failure{};
  int error = 0;
  return TcpConnect("127.0.0.1", port, 2000, failure, error);
}

// What the peer sends until it closes, or until it has sent a whole line
// when untilLine; "<still open>" is added when it does neither in time.
std::string Read(TcpSocket& socket, bool untilLine) {
  std::string got;
  char buffer[256];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(untilLine && got.ends_with("\r\n"))) {
    if (std::chrono::steady_clock::now() > deadline) return got + "<still open>";
    if (TcpWaitReadable(socket.Fd(), -1, 100) != TcpWaitResult::Ready) continue;
    int error = 0;
    const long n = TcpReceive(socket, buffer, sizeof buffer, error);
    if (n == 0 || (n < 0 && error != EAGAIN)) break;
    if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}
std::string ReadLine(TcpSocket& socket) { return Read(socket, true); }
std::string ReadToClose(TcpSocket& socket) { return Read(socket, false); }

// Greets every connection and closes it on the first bytes received.
class GreetingHandler : public CSocketServer {
 public:
  void OnConnectionOpened() override { Send("hello\r\n"); }
  void OnBytesReceived(const char*, std::size_t) override { CloseConnection(); }
};

// Connections a bounded pool cannot serve yet wait for a worker; a flood
// leaves only the kept number of idle workers behind, and those serve the
// next connections.
TEST(ConnectionPoolTest, BoundQueuesAndSpareIdleWorkersEnd) {
  struct Case {
    std::size_t maxWorkers;
    int connections;
    int startedWhileBlocked;
  } cases[] = {{2, 5, 2}, {0, 6, 6}};
  for (const Case& c : cases) {
    std::atomic<bool> open{false};
    std::atomic<int> waiting{0}, passed{0};
    CConnectionPool pool(
        {c.maxWorkers, 2, std::chrono::milliseconds(100)},
        [&](PooledConnection&) {
          ++waiting;
          WaitUntil([&] { return open.load(); }, std::chrono::seconds(10), std::chrono::milliseconds(1));
          ++passed;
        },
        [](PooledConnection&) { ADD_FAILURE() << "dropped"; });
    for (int i = 0; i < c.connections; ++i) pool.Submit({});
    ASSERT_TRUE(WaitUntil([&] { return waiting == c.startedWhileBlocked; })) << c.maxWorkers;
    EXPECT_EQ(pool.WorkersStarted(), static_cast<std::size_t>(c.startedWhileBlocked));
    open = true;
    ASSERT_TRUE(WaitUntil([&] { return passed == c.connections; })) << c.maxWorkers;
    EXPECT_TRUE(WaitUntil([&] { return pool.WorkerCount() == 2; })) << pool.WorkerCount();
    pool.Submit({});
    EXPECT_TRUE(WaitUntil([&] { return passed == c.connections + 1; }));
    EXPECT_EQ(pool.WorkersStarted(), static_cast<std::size_t>(c.startedWhileBlocked));  // an idle one took it
  }
}

// Stop ends the connections being served (through the stop signal they
// watch) and closes the queued ones without serving them.
TEST(ConnectionPoolTest, StopEndsBusyAndClosesQueuedConnections) {
  TcpWakeup stop;
  int error = 0;
  TcpSocket listener = TcpListen(0, error);
  ASSERT_TRUE(listener.IsOpen());
  std::atomic<int> served{0}, dropped{0};
  CConnectionPool pool(
      {2, 4, std::chrono::seconds(5)},
      [&](PooledConnection& c) {
        c.handler->Run(std::move(c.socket), stop.Fd());
        ++served;
      },
      [&](PooledConnection& c) {
        TcpGracefulClose(c.socket, stop.Fd());
        ++dropped;
      });
  TcpSocket clients[3];
  for (TcpSocket& client : clients) {
    client = ConnectTo(TcpLocalPort(listener));
    ASSERT_TRUE(client.IsOpen());
    ASSERT_EQ(TcpWaitReadable(listener.Fd(), -1, 2000), TcpWaitResult::Ready);
    pool.Submit({std::make_unique<GreetingHandler>(), TcpAccept(listener, error)});
  }
  // Both workers are in their connections: the greeting has come.
  ASSERT_EQ(TcpWaitReadable(clients[0].Fd(), -1, 5000), TcpWaitResult::Ready);
  ASSERT_EQ(TcpWaitReadable(clients[1].Fd(), -1, 5000), TcpWaitResult::Ready);
  const auto start = std::chrono::steady_clock::now();
  pool.Stop([&] { stop.Signal(); });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(served, 2);
  EXPECT_EQ(dropped, 1);
  EXPECT_EQ(pool.WorkerCount(), 0u);
  EXPECT_EQ(ReadToClose(clients[0]), "hello\r\n");
  EXPECT_EQ(ReadToClose(clients[1]), "hello\r\n");
  EXPECT_EQ(ReadToClose(clients[2]), "");  // queued: closed without a word
}

// A listener whose connections get "hello" and end on the first bytes.
std::unique_ptr<CSocketListener> StartListener(std::size_t maxConnections) {
  auto listener = std::make_unique<CSocketListener>([] { return std::make_unique<GreetingHandler>(); },
                                                    CSocketListener::Options{maxConnections, "busy\r\n", {}});
  int error = 0;
  EXPECT_TRUE(listener->Start(0, error)) << error;
  return listener;
}

// Connects client and returns the listener's first line.
std::string Connect(CSocketListener& listener, TcpSocket& client) {
  client = ConnectTo(listener.Port());
  return client.IsOpen() ? ReadLine(client) : "no connection";
}

TEST(SocketListenerTest, SequentialConnectionsReuseTheirWorkers) {
  auto listener = StartListener(0);
  for (int i = 0; i < 20; ++i) {
    TcpSocket client;
    ASSERT_EQ(Connect(*listener, client), "hello\r\n") << i;
    client.Close();
    ASSERT_TRUE(WaitUntil([&] { return listener->ConnectionCount() == 0; })) << i;
  }
  // The worker that served the last connection may not be idle yet when
  // the next arrives; beyond a second one none is needed.
  EXPECT_LE(listener->WorkersStarted(), 2u);
  // Idle workers end with the listener, and quickly.
  const auto start = std::chrono::steady_clock::now();
  listener->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(listener->WorkerCount(), 0u);
}

TEST(SocketListenerTest, ConnectionBeyondTheLimitIsRejectedAndStopEndsTheServedOnes) {
  auto listener = StartListener(2);
  TcpSocket first, second, third;
  EXPECT_EQ(Connect(*listener, first), "hello\r\n");
  EXPECT_EQ(Connect(*listener, second), "hello\r\n");
  EXPECT_EQ(Connect(*listener, third), "busy\r\n");
  EXPECT_EQ(listener->WorkerCount(), 2u);

  // One connection ends, a new one takes its slot and its worker.
  int error = 0;
  ASSERT_TRUE(TcpSendAll(first, "x", 1000, error));
  EXPECT_TRUE(WaitUntil([&] {
    TcpSocket again;
    return Connect(*listener, again) == "hello\r\n";
  }));
  EXPECT_EQ(listener->WorkersStarted(), 2u);

  const auto start = std::chrono::steady_clock::now();
  listener->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(listener->ConnectionCount(), 0u);
  EXPECT_EQ(listener->WorkerCount(), 0u);
  EXPECT_EQ(ReadToClose(second), "");
}

}  // namespace
}  // namespace meldrix
