// Helpers of the DDE tests: a private runtime folder per test and a DDE
// instance that lives on its own thread (instances belong to one thread) and
// pumps until it is stopped.
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
  std::string parent_;
  std::string folder_;
};

// A DDE instance made and pumped on a thread of its own. `setup` runs on that
// thread right after the instance is made (register services there). Without
// `pump` the instance never answers (a hung partner).
class DdeThread {
 public:
  explicit DdeThread(DdeCallback callback, std::function<void(DdeInstance&)> setup = {},
                     bool pump = true)
      : wakeFd_(eventfd(0, EFD_CLOEXEC)) {
    std::promise<void> ready;
    auto started = ready.get_future();
    thread_ = std::thread([this, callback, setup, pump, &ready] {
      DdeInstance instance(callback, 0);
      if (setup) setup(instance);
      ready.set_value();
      pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {instance.Descriptor(), POLLIN, 0}};
      while (!stop_) {
        poll(fds, pump ? 2 : 1, -1);
        if (fds[0].revents) {
          std::uint64_t count = 0;
          (void)!read(wakeFd_, &count, sizeof count);
          std::vector<std::packaged_task<void(DdeInstance&)>> tasks;
          {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
          }
          for (auto& task : tasks) task(instance);
        }
        if (pump) instance.Pump();
      }
    });
    started.wait();
  }
  ~DdeThread() {
    Post([this](DdeInstance&) { stop_ = true; });
    thread_.join();
    close(wakeFd_);
  }
  // Runs `fn` on the instance's thread.
  std::future<void> Post(std::function<void(DdeInstance&)> fn) {
    std::packaged_task<void(DdeInstance&)> task(std::move(fn));
    auto done = task.get_future();
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    std::uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
    return done;
  }

 private:
  int wakeFd_;
  bool stop_ = false;
  std::mutex mutex_;
  std::vector<std::packaged_task<void(DdeInstance&)>> tasks_;
  std::thread thread_;
};

// Polls `condition` every 10 ms for up to 10 s.
inline bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

// Pumps `instance` until `done` is ready (another thread talks to it).
template <typename T>
T PumpUntil(DdeInstance& instance, std::future<T>& done) {
  while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    pollfd fd{instance.Descriptor(), POLLIN, 0};
    poll(&fd, 1, 10);
    instance.Pump();
  }
  return done.get();
}

}  // namespace meldrix::testing
