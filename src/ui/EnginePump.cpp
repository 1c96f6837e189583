#include "ui/EnginePump.h"

namespace meldrix {

CEnginePump::CEnginePump(EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.Descriptor(), QSocketNotifier::Read) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&notifier_, &QSocketNotifier::activated, this, &CEnginePump::Pump);
  connect(&timer_, &QTimer::timeout, this, &CEnginePump::Pump);
  Schedule();
}

void CEnginePump::Pump() {
  if (Held()) {
    // Inside a nested loop: the descriptor stays readable, so the notifier
    // would fire without end. Release() turns it on again.
    notifier_.setEnabled(false);
    timer_.stop();
    return;
  }
  Hold([this] { loop_.RunOnce(0); });
}

void CEnginePump::Release() {
  if (--held_ > 0) return;
  notifier_.setEnabled(true);
  Schedule();
  emit Released();
  if (loop_.Quitting()) emit QuitRequested();
}

void CEnginePump::Schedule() {
  if (loop_.Quitting()) {
    timer_.stop();
    return;
  }
  int wait = loop_.MillisecondsToNextTimer();
  if (wait < 0)
    timer_.stop();
  else
    timer_.start(wait);
}

}  // namespace meldrix
