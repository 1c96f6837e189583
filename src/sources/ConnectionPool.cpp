#include "sources/ConnectionPool.h"

#include <system_error>
#include <utility>

namespace meldrix {

CConnectionPool::CConnectionPool(Limits limits, ConnectionFunction serve, ConnectionFunction drop)
    : limits_(limits), serve_(std::move(serve)), drop_(std::move(drop)) {}

CConnectionPool::~CConnectionPool() { Stop({}); }

void CConnectionPool::Submit(PooledConnection connection) {
  std::unique_lock lock(mutex_);
  if (stopping_) {
    lock.unlock();
    drop_(connection);
    return;
  }
  queue_.push_back(std::move(connection));
  // Every idle worker takes one queued connection once woken; a worker still
  // counted idle may be waking already, which the count allows for.
  if (idle_ >= queue_.size()) {
    lock.unlock();  // so the woken worker does not wait for the lock at once
    queued_.notify_one();
    return;
  }
  if (limits_.maxWorkers == 0 || workers_.size() < limits_.maxWorkers) StartWorker();
  if (workers_.empty()) {
    // No thread could be started and none runs that would take it later.
    std::deque<PooledConnection> stranded;
    stranded.swap(queue_);
    lock.unlock();
    for (PooledConnection& waiting : stranded) drop_(waiting);
  }
  // Otherwise the next worker that finishes its connection takes it.
}

void CConnectionPool::StartWorker() {
  auto self = workers_.emplace(workers_.end());
  try {
    // The new thread waits for the lock the caller holds, so its handle is
    // in place before it can look at it.
    self->thread = std::thread([this, self] { WorkerLoop(self); });
    ++started_;
  } catch (const std::system_error&) {
    workers_.erase(self);  // out of threads: the running workers take the queue
  }
}

bool CConnectionPool::NextConnection(std::unique_lock<std::mutex>& lock, PooledConnection& next) {
  bool limited = true;
  while (true) {
    if (!queue_.empty()) {
      next = std::move(queue_.front());
      queue_.pop_front();
      return true;
    }
    if (stopping_) return false;
    ++idle_;
    bool timedOut = false;
    if (limited) {
      timedOut = queued_.wait_for(lock, limits_.idleLifetime) == std::cv_status::timeout;
    } else {
      queued_.wait(lock);
    }
    --idle_;
    if (timedOut && queue_.empty() && !stopping_) {
      if (idle_ >= limits_.keptIdle) return false;  // enough others wait: this one is spare
      limited = false;  // one of the kept: sleep until there is work
    }
  }
}

void CConnectionPool::WorkerLoop(std::list<Worker>::iterator self) {
  std::unique_lock lock(mutex_);
  PooledConnection connection;
  while (NextConnection(lock, connection)) {
    lock.unlock();
    serve_(connection);
    connection = PooledConnection{};  // handler and socket go before the next one
    lock.lock();
  }
  if (stopping_) return;  // Stop joins every worker left in the list
  // Ended for idleness: nobody else would join this thread, so it waits for
  // the next worker that ends, which joins it, and joins the one before.
  std::thread previous = std::exchange(lastEnded_, std::move(self->thread));
  workers_.erase(self);
  lock.unlock();
  if (previous.joinable()) previous.join();
}

void CConnectionPool::Stop(const std::function<void()>& endServed) {
  std::deque<PooledConnection> queued;
  std::list<Worker> workers;
  std::thread lastEnded;
  {
    std::lock_guard lock(mutex_);
    // From here on no worker starts a connection or touches the list.
    stopping_ = true;
    queued.swap(queue_);
    workers.swap(workers_);
    lastEnded = std::move(lastEnded_);
  }
  if (endServed) endServed();
  queued_.notify_all();
  for (PooledConnection& connection : queued) drop_(connection);
  for (Worker& worker : workers) worker.thread.join();
  if (lastEnded.joinable()) lastEnded.join();
}

std::size_t CConnectionPool::WorkerCount() const {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

std::size_t CConnectionPool::IdleCount() const {
  std::lock_guard lock(mutex_);
  return idle_;
}

std::size_t CConnectionPool::WorkersStarted() const {
  std::lock_guard lock(mutex_);
  return started_;
}

}  // namespace meldrix
