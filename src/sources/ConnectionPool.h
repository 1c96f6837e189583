// The worker threads that serve a listener's accepted connections. A worker
// serves one connection at a time for its whole life (the handlers block on
// their socket), then takes the next one, so a flood of short connections
// does not create and destroy a thread for each.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/TcpSocket.h"
#include "sources/SocketServer.h"

namespace meldrix {

// An accepted connection and the handler that is to serve it.
struct PooledConnection {
  std::unique_ptr<CSocketServer> handler;
  TcpSocket socket;
};

class CConnectionPool {
 public:
  struct Limits {
    // Workers alive at once; 0 = as many as connections are submitted.
    std::size_t maxWorkers = 0;
    // Idle workers that wait without a time limit; more idle ones end after
    // idleLifetime, so a quiet program does not keep a flood's threads.
    std::size_t keptIdle = 4;
    std::chrono::milliseconds idleLifetime{5000};
  };
  // serve runs a connection on a worker; drop takes those still queued when
  // the pool stops. Both may run on any worker or on the stopping thread.
  using ConnectionFunction = std::function<void(PooledConnection&)>;

  CConnectionPool(Limits limits, ConnectionFunction serve, ConnectionFunction drop);
  ~CConnectionPool();
  CConnectionPool(const CConnectionPool&) = delete;
  CConnectionPool& operator=(const CConnectionPool&) = delete;

  // Hands the connection to an idle worker, or to a new one while below
  // maxWorkers; otherwise it waits for the next worker that becomes free.
  void Submit(PooledConnection connection);
  // Serves no more connections: runs endServed, which is to make the
  // connections being served end (a stop signal their handlers watch), gives
  // the queued ones to drop and joins every worker. Connections submitted
  // afterwards go to drop at once.
  void Stop(const std::function<void()>& endServed);

  std::size_t WorkerCount() const;
  std::size_t IdleCount() const;
  // Workers started since the pool was made: tells reuse from churn.
  std::size_t WorkersStarted() const;

 private:
  struct Worker {
    std::thread thread;
  };

  void StartWorker();
  void WorkerLoop(std::list<Worker>::iterator self);
  // Waits for a queued connection; false when the worker is to end.
  bool NextConnection(std::unique_lock<std::mutex>& lock, PooledConnection& next);

  const Limits limits_;
  const ConnectionFunction serve_;
  const ConnectionFunction drop_;
  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<PooledConnection> queue_;
  std::list<Worker> workers_;
  // The last worker that ended by itself; the next one to end joins it, so
  // at most one finished thread waits to be joined.
  std::thread lastEnded_;
  std::size_t idle_ = 0;
  std::size_t started_ = 0;
  bool stopping_ = false;
};

}  // namespace meldrix
