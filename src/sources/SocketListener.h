// A listening TCP socket with its own thread that serves every accepted
// connection with a new handler object on a worker thread of its pool.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/TcpSocket.h"
#include "sources/ConnectionPool.h"
#include "sources/SocketServer.h"

namespace meldrix {

class CSocketListener {
 public:
  using HandlerFactory = std::function<std::unique_ptr<CSocketServer>()>;

  struct Options {
    // Connections served at once; 0 = no limit. A connection beyond it gets
    // rejectReply (when not empty) and is closed at once.
    std::size_t maxConnections = 0;
    std::string rejectReply;
    // Told the peer ("address:port") of every connection refused for the
    // limit; runs on the listener thread.
    std::function<void(const std::string& peer)> onRejected;
  };

  // Idle workers kept waiting for the next connection; more idle ones end
  // after kIdleWorkerLifetime. Workers are never more than maxConnections;
  // without a limit there is one per connection served at once.
  static constexpr std::size_t kKeptIdleWorkers = 4;
  static constexpr std::chrono::milliseconds kIdleWorkerLifetime{5000};

  CSocketListener(HandlerFactory factory, Options options);
  ~CSocketListener();
  CSocketListener(const CSocketListener&) = delete;
  CSocketListener& operator=(const CSocketListener&) = delete;

  // Listens on port (0 = a free port, see Port()). False with error (errno)
  // when the port cannot be bound. A running listener is stopped first.
  bool Start(std::uint16_t port, int& error);
  // Closes the listening socket, ends every connection (each closes
  // gracefully, within about one second; one accepted but not yet served is
  // closed at once) and waits for all threads.
  // Must not be called from a connection's own thread.
  void Stop();

  bool IsRunning() const { return listenerThread_.joinable(); }
  std::uint16_t Port() const { return port_; }
  std::size_t ConnectionCount() const { return connectionCount_; }
  // Worker threads alive now, and started since the last Start.
  std::size_t WorkerCount() const { return pool_ ? pool_->WorkerCount() : 0; }
  std::size_t WorkersStarted() const { return pool_ ? pool_->WorkersStarted() : 0; }

 private:
  void ListenLoop();
  void Accept();

  HandlerFactory factory_;
  Options options_;
  TcpSocket listenSocket_;
  std::unique_ptr<TcpWakeup> stop_;
  // Made by Start, stopped by Stop and kept until the next Start.
  std::unique_ptr<CConnectionPool> pool_;
  std::thread listenerThread_;
  std::uint16_t port_ = 0;
  std::atomic<std::size_t> connectionCount_{0};
};

}  // namespace meldrix
