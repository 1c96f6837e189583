#include "platform/EventLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/Timer.h"

namespace meldrix {

EventLoop::EventLoop() {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0)
    throw std::runtime_error(std::string("eventfd failed: ") + std::strerror(errno));
}

EventLoop::~EventLoop() {
  if (epollFd_ >= 0) ::close(epollFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

int EventLoop::Descriptor() {
  if (epollFd_ >= 0) return epollFd_;
  epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0)
    throw std::runtime_error(std::string("epoll_create1 failed: ") + std::strerror(errno));
  UpdateReadiness(wakeFd_);
  for (const auto& [id, watch] : watches_) UpdateReadiness(watch.fd);
  return epollFd_;
}

// Registers `fd` with the union of the events its watches ask for, or
// removes it when none is left.
void EventLoop::UpdateReadiness(int fd) {
  if (epollFd_ < 0) return;
  std::uint32_t events = 0;
  if (fd == wakeFd_) events = EPOLLIN;
  for (const auto& [id, watch] : watches_)
    if (watch.fd == fd) {
      if (watch.events & POLLIN) events |= EPOLLIN;
      if (watch.events & POLLOUT) events |= EPOLLOUT;
      if (watch.events & POLLPRI) events |= EPOLLPRI;
      events |= EPOLLERR | EPOLLHUP;
    }
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  if (events == 0) {
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);  // may be closed already
    return;
  }
  // A descriptor closed and reused without Unwatch() is no longer registered.
  if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event) != 0 && errno == ENOENT)
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event);
}

EventLoop::TimerId EventLoop::StartTimer(std::uint32_t delayMs, TimerFn fn) {
  TimerId id = nextTimer_++;
  timers_.emplace(id, Timer{ProcessClock().NowMs() + delayMs, std::move(fn)});
  return id;
}

void EventLoop::CancelTimer(TimerId id) { timers_.erase(id); }

bool EventLoop::TimerPending(TimerId id) const { return timers_.count(id) != 0; }

EventLoop::WatchId EventLoop::Watch(int fd, short events, WatchFn fn) {
  WatchId id = nextWatch_++;
  watches_.emplace(id, WatchEntry{fd, events, std::move(fn)});
  UpdateReadiness(fd);
  return id;
}

void EventLoop::Unwatch(WatchId id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  int fd = it->second.fd;
  watches_.erase(it);
  UpdateReadiness(fd);
}

int EventLoop::MillisecondsToNextTimer() const {
  if (timers_.empty()) return -1;
  std::uint64_t now = ProcessClock().NowMs();
  std::uint64_t first = UINT64_MAX;
  for (const auto& [id, timer] : timers_) first = std::min(first, timer.dueMs);
  if (first <= now) return 0;
  std::uint64_t wait = first - now;
  return wait > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wait);
}

void EventLoop::RunDueTimers() {
  std::uint64_t now = ProcessClock().NowMs();
  // Collect first: callbacks may start and cancel timers. A timer started by
  // a callback waits for the next round, so a 0 ms timer cannot starve the loop.
  std::vector<TimerId> due;
  for (const auto& [id, timer] : timers_)
    if (timer.dueMs <= now) due.push_back(id);
  for (TimerId id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;  // cancelled by an earlier callback
    TimerFn fn = std::move(it->second.fn);
    timers_.erase(it);
    fn();
    if (quit_) return;
  }
}

bool EventLoop::RunOnce(int maxWaitMs) {
  if (quit_) return false;
  int wait = MillisecondsToNextTimer();
  if (wait < 0 || (maxWaitMs >= 0 && maxWaitMs < wait)) wait = maxWaitMs;

  std::vector<pollfd> fds;
  std::vector<WatchId> ids;
  fds.push_back(pollfd{wakeFd_, POLLIN, 0});
  ids.push_back(0);
  for (const auto& [id, watch] : watches_) {
    fds.push_back(pollfd{watch.fd, watch.events, 0});
    ids.push_back(id);
  }
  int ready = ::poll(fds.data(), fds.size(), wait);
  if (ready < 0 && errno != EINTR)
    throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
  if (ready > 0) {
    if (fds[0].revents) {
      std::uint64_t count;
      while (::read(wakeFd_, &count, sizeof count) > 0) {
      }
    }
    for (std::size_t i = 1; i < fds.size() && !quit_; ++i) {
      if (!fds[i].revents) continue;
      auto it = watches_.find(ids[i]);
      if (it == watches_.end()) continue;  // removed by an earlier callback
      WatchFn fn = it->second.fn;          // a copy: the callback may unwatch itself
      fn(fds[i].revents);
    }
  }
  if (!quit_) RunDueTimers();
  return !quit_;
}

int EventLoop::Run() {
  while (RunOnce(-1)) {
  }
  return exitCode_;
}

void EventLoop::Quit(int exitCode) {
  exitCode_ = exitCode;
  quit_ = true;
  Wake();
}

void EventLoop::Wake() {
  std::uint64_t one = 1;
  ssize_t written = ::write(wakeFd_, &one, sizeof one);
  (void)written;  // a full counter already wakes the loop
}

}  // namespace meldrix
