// Env: the services the program reaches outside its own memory (serial ports,
// the user's answers, the locale, the clocks, digital I/O) in one object, in
// the manner of LevelDB's Env. The real one is the default, made at first
// use; tests build their own and install it for their scope (ScopedEnv), or
// hand single services to the objects that take them (sources and outputs get
// their serial library and printers through their services, the document its
// Korvane client, a trace channel its endpoint and clock).
#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/Dio.h"
#include "platform/LocaleInfo.h"
#include "platform/SerialLibrary.h"
#include "platform/Timer.h"
#include "platform/UserInterface.h"

namespace meldrix {

struct Env {
  std::shared_ptr<ISerialLibrary> serial = nullptr;  // COM ports
  std::shared_ptr<UserInterface> ui = nullptr;       // message boxes
  std::shared_ptr<LocaleInfo> locale = nullptr;      // date, time and number formats
  std::shared_ptr<MilliClock> timerClock = nullptr;  // TimerStart/TimerTimeout and the event loop
  std::shared_ptr<Clock> clock = nullptr;            // wall clock and time zone
  std::shared_ptr<DioBank> dio = nullptr;            // DIN, DOUT, QIMPULSE

  // The real services: termios ports (COM n is /dev/ttyS<n-1>), a console
  // user interface, the environment's POSIX locale, the steady and the system
  // clock, a simulated I/O bank.
  static Env Real();
};

// The environment in force; the real one until another is installed. Safe to
// call from any thread.
const Env& ProcessEnv();

// Installs an environment for its own lifetime, then puts the previous one
// back: the program's run with its log-writing user interface, and tests.
// Members left empty are taken from the environment in force. Replaced
// environments stay alive, as other threads may still use their services.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const Env* previous_;
};

}  // namespace meldrix
