#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

// Holds every connection served through it until opened.
class Gate {
 public:
  void Pass() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
    --waiting_;
    ++passed_;
    changed_.notify_all();
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitForWaiting(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return waiting_ == count; });
  }
  bool WaitForPassed(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return passed_ == count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int waiting_ = 0;
  int passed_ = 0;
};

// Connections a bounded pool cannot serve yet wait for a worker; a flood
// leaves only the kept number of idle workers behind, and those serve the
// next connections.
TEST(ConnectionPoolTest, BoundQueuesAndSpareIdleWorkersEnd) {
  struct Case {
    std::size_t maxWorkers;
    int connections;
    std::size_t startedWhileBlocked;
  } cases[] = {{2, 5, 2}, {0, 6, 6}};
  for (const Case& c : cases) {
    Gate gate;
    CConnectionPool pool({c.maxWorkers, 2, std::chrono::milliseconds(100)},
                         [&](PooledConnection&) { gate.Pass(); }, [](PooledConnection&) { ADD_FAILURE(); });
    for (int i = 0; i < c.connections; ++i) pool.Submit({});
    ASSERT_TRUE(gate.WaitForWaiting(static_cast<int>(c.startedWhileBlocked))) << c.maxWorkers;
    EXPECT_EQ(pool.WorkersStarted(), c.startedWhileBlocked);
    gate.Open();
    ASSERT_TRUE(gate.WaitForPassed(c.connections)) << c.maxWorkers;
    EXPECT_TRUE(WaitUntil([&] { return pool.WorkerCount() == 2; })) << pool.WorkerCount();
    pool.Submit({});
    EXPECT_TRUE(gate.WaitForPassed(c.connections + 1));
    EXPECT_EQ(pool.WorkersStarted(), c.startedWhileBlocked);  // an idle worker took it
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

class SocketListenerTest : public ::testing::Test {
 protected:
  void Start(std::size_t maxConnections) {
    listener_ = std::make_unique<CSocketListener>(
        [] { return std::make_unique<GreetingHandler>(); },
        CSocketListener::Options{maxConnections, "busy\r\n", [this](const std::string& peer) {
                                   std::lock_guard lock(mutex_);
                                   rejected_.push_back(peer);
                                 }});
    int error = 0;
    ASSERT_TRUE(listener_->Start(0, error)) << error;
  }
  // Connects client and returns the listener's first line.
  std::string Connect(TcpSocket& client) {
    client = ConnectTo(listener_->Port());
    return client.IsOpen() ? ReadLine(client) : "no connection";
  }

  std::vector<std::string> Rejected() {
    std::lock_guard lock(mutex_);
    return rejected_;
  }

  std::unique_ptr<CSocketListener> listener_;
  std::mutex mutex_;
  std::vector<std::string> rejected_;
};

TEST_F(SocketListenerTest, SequentialConnectionsReuseTheirWorkers) {
  Start(0);
  for (int i = 0; i < 20; ++i) {
    TcpSocket client;
    ASSERT_EQ(Connect(client), "hello\r\n") << i;
    client.Close();
    ASSERT_TRUE(WaitUntil([&] { return listener_->ConnectionCount() == 0; })) << i;
  }
  // The worker that served the last connection may not be idle yet when
  // the next arrives; beyond a second one none is needed.
  EXPECT_LE(listener_->WorkersStarted(), 2u);
  // Idle workers end with the listener, and quickly.
  const auto start = std::chrono::steady_clock::now();
  listener_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(listener_->WorkerCount(), 0u);
}

TEST_F(SocketListenerTest, ConnectionBeyondTheLimitIsRejectedAndStopEndsTheServedOnes) {
  Start(2);
  TcpSocket first, second, third;
  EXPECT_EQ(Connect(first), "hello\r\n");
  EXPECT_EQ(Connect(second), "hello\r\n");
  EXPECT_EQ(Connect(third), "busy\r\n");
  ASSERT_TRUE(WaitUntil([&] { return Rejected().size() == 1; }));  // told after the reply
  EXPECT_TRUE(Rejected()[0].starts_with("127.0.0.1:")) << Rejected()[0];
  EXPECT_EQ(listener_->ConnectionCount(), 2u);
  EXPECT_EQ(listener_->WorkerCount(), 2u);

  // One connection ends, a new one takes its slot and its worker.
  int error = 0;
  ASSERT_TRUE(TcpSendAll(first, "x", 1000, error));
  ASSERT_TRUE(WaitUntil([&] { return listener_->ConnectionCount() == 1; }));
  EXPECT_TRUE(WaitUntil([&] {
    TcpSocket again;
    return Connect(again) == "hello\r\n";
  }));
  EXPECT_EQ(listener_->WorkersStarted(), 2u);

  const auto start = std::chrono::steady_clock::now();
  listener_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(listener_->ConnectionCount(), 0u);
  EXPECT_EQ(listener_->WorkerCount(), 0u);
  EXPECT_EQ(ReadToClose(second), "");
}

}  // namespace
}  // namespace meldrix
