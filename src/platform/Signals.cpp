#include "platform/Signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace meldrix {

namespace {

sigset_t ProgramSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGUSR1);
  return set;
}

}  // namespace

bool BlockProgramSignals() {
  sigset_t set = ProgramSignals();
  return ::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

void UnblockProgramSignals() {
  sigset_t set = ProgramSignals();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(EventLoop& loop, Handler handler)
    : loop_(loop), handler_(std::move(handler)) {
  sigset_t set = ProgramSignals();
  fd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0)
    throw std::runtime_error(std::string("signalfd failed: ") + std::strerror(errno));
  watch_ = loop_.Watch(fd_, POLLIN, [this](short) { ReadSignals(); });
}

SignalWatcher::~SignalWatcher() {
  loop_.Unwatch(watch_);
  ::close(fd_);
}

void SignalWatcher::ReadSignals() {
  signalfd_siginfo info;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    handler_(static_cast<int>(info.ssi_signo));
}

}  // namespace meldrix
