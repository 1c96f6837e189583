// Drives the engine's event loop from Qt's: a socket notifier on the loop's
// descriptor and a timer for its next timer each run it once, without waiting.
//
// While the engine is at work (a pass of the loop, or a command of the window
// that calls into it) the pump is held: a modal box opened meanwhile (an
// expression's MESSAGEBOX, an activation error) runs Qt's nested loop, which
// keeps painting, but must not run the engine's loop again, or a delivery
// pass would re-enter the engine in the middle of a message. Connection
// threads keep receiving; their texts wait in their queues.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/EventLoop.h"

namespace meldrix {

class CEnginePump : public QObject {
  Q_OBJECT

 public:
  explicit CEnginePump(EventLoop& loop, QObject* parent = nullptr);

  // Runs `work` with the pump held; afterwards the loop's timers are
  // rescheduled (the work may have started some) and Released() is emitted.
  template <class Work>
  void Hold(Work&& work) {
    Acquire();
    struct Releaser {
      CEnginePump* pump;
      ~Releaser() { pump->Release(); }
    } releaser{this};
    work();
  }
  // The same without a scope: start-up holds the pump from making the window
  // until Qt's loop runs, as "AutoActivate" may show boxes meanwhile.
  void Acquire() { ++held_; }
  void Release();
  bool Held() const { return held_ > 0; }
  EventLoop& Loop() { return loop_; }
  // Looks at the loop's next timer again; after timers were started from
  // outside the pump (start-up).
  void Schedule();

 signals:
  // The engine may have changed (counters, state): after every run of the
  // loop and every held piece of work.
  void Released();
  // The loop was told to quit.
  void QuitRequested();

 private:
  void Pump();

  EventLoop& loop_;
  QSocketNotifier notifier_;
  QTimer timer_;
  int held_ = 0;
};

}  // namespace meldrix
