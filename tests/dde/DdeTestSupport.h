// Helpers of the DDE tests: a private runtime folder per test, and a DDE
// instance or server that lives on its own thread (instances belong to one
// thread) and pumps until it is stopped.
#pragma once

#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>
#include <string>
#include <thread>

#include "platform/DdeInstance.h"
#include "support/WaitUntil.h"

namespace meldrix::testing {

// Points MELDRIX_DDE_DIR at a fresh folder (inside a temporary parent) and
// removes it again.
class DdeFolderScope {
 public:
  DdeFolderScope() {
    char pattern[] = "/tmp/dde-test-XXXXXX";
    parent_ = mkdtemp(pattern);
    folder_ = parent_ + "/dde";
    setenv("MELDRIX_DDE_DIR", folder_.c_str(), 1);
  }
  ~DdeFolderScope() {
    unsetenv("MELDRIX_DDE_DIR");
    std::error_code ec;
    std::filesystem::remove_all(parent_, ec);
  }
  const std::string& Folder() const { return folder_; }
  const std::string& Parent() const { return parent_; }

 private:
  std::string parent_, folder_;
};

// Something with Descriptor() and Pump() (a DdeInstance, a CDDEServer) made by
// `make` on a thread of its own and pumped there. Without `pump` it never
// answers (a hung partner).
template <typename T>
class PumpThread {
 public:
  explicit PumpThread(std::function<std::unique_ptr<T>()> make, bool pump = true)
      : wakeFd_(eventfd(0, EFD_CLOEXEC)) {
    std::promise<void> ready;
    auto started = ready.get_future();
    thread_ = std::thread([this, make, pump, &ready] {
      std::unique_ptr<T> object = make();
      ready.set_value();
      pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {object->Descriptor(), POLLIN, 0}};
      while (!stop_) {
        poll(fds, pump ? 2 : 1, 10);
        if (fds[0].revents) {
          std::uint64_t count = 0;
          (void)!read(wakeFd_, &count, sizeof count);
          std::vector<std::packaged_task<void(T&)>> tasks;
          {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
          }
          for (auto& task : tasks) task(*object);
        }
        if (pump) object->Pump();
      }
    });
    started.wait();
  }
  ~PumpThread() {
    Post([this](T&) { stop_ = true; });
    thread_.join();
    close(wakeFd_);
  }
  // Runs `fn` on the object's thread.
  std::future<void> Post(std::function<void(T&)> fn) {
    std::packaged_task<void(T&)> task(std::move(fn));
    auto done = task.get_future();
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    std::uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
    return done;
  }
  void Run(std::function<void(T&)> fn) { Post(std::move(fn)).wait(); }

 private:
  int wakeFd_;
  bool stop_ = false;
  std::mutex mutex_;
  std::vector<std::packaged_task<void(T&)>> tasks_;
  std::thread thread_;
};

// A DDE instance on its own thread; `setup` runs there right after it is made
// (register services there).
class DdeThread : public PumpThread<DdeInstance> {
 public:
  explicit DdeThread(DdeCallback callback, std::function<void(DdeInstance&)> setup = {}, bool pump = true)
      : PumpThread([callback, setup] {
          auto instance = std::make_unique<DdeInstance>(callback, 0);
          if (setup) setup(*instance);
          return instance;
        }, pump) {}
};

}  // namespace meldrix::testing
