// The three timers that drive all processing, and the program's reaction to
// signals, on one event loop:
// - protocol timer: 20 ms, 5 ms while a device protocol is inside a telegram;
//   it runs only while processing is active and a source has a protocol;
// - delivery timer: while processing is active, mail lines and sources every
//   100 ms; when a pass leaves work behind (its time budget was used up) the
//   next pass runs at once, so a flood drains at full speed while timers,
//   signals and other descriptors still get their turn between passes;
// - supervision timer: 1 s after start, then every 60 s: the configuration
//   change check (deactivate, reload, activate again when it was active) and
//   "[check(Meldrix)]" while active.
// An idle program (inactive, or active without a protocol source) thus wakes
// at most ten times a second.
// SIGHUP runs the supervision work at once; SIGTERM and SIGINT deactivate and
// end the loop with status 0; SIGUSR1 writes the counters to the log.
// Under systemd the loop also pings the watchdog from its own timer (so a hung
// loop is noticed) and keeps the service status up to date.
#pragma once

#include <cstdint>
#include <string>

#include "app/EngineHost.h"
#include "platform/EventLoop.h"
#include "platform/SystemdNotify.h"

namespace meldrix {

inline constexpr std::uint32_t kProtocolTimerMs = 20;
inline constexpr std::uint32_t kProtocolTelegramMs = 5;
inline constexpr std::uint32_t kDeliveryTimerMs = 100;
inline constexpr std::uint32_t kSupervisionFirstMs = 1000;
inline constexpr std::uint32_t kSupervisionMs = 60000;

class CMainLoop {
 public:
  CMainLoop(EventLoop& loop, IEngineHost& engine);
  ~CMainLoop();
  CMainLoop(const CMainLoop&) = delete;
  CMainLoop& operator=(const CMainLoop&) = delete;

  // Starts the supervision timer (when the application object is created)
  // and allows the processing timers (at the end of start-up), which then
  // run whenever processing is active.
  void StartSupervision();
  void StartProcessingTimers();

  // Activates processing and starts the timers that drive it. Every
  // activation goes through here (or is followed by ResumeProcessingTimers).
  bool Activate();
  // Starts the delivery and protocol timers that processing needs and that
  // are not running.
  void ResumeProcessingTimers();

  // Reports to the service manager from now on: the status after every
  // change, and watchdog pings when it asks for them. `notify` outlives the loop.
  void StartServiceNotification(SystemdNotify& notify);
  // Sends the status when it changed: active or not, and the counters.
  void UpdateServiceStatus();
  // "Processing active; " or "Processing inactive; " and the counters.
  std::string StatusText() const;

  void OnSignal(int signal);
  // The configuration change check and, while active, the Korvane check.
  void Supervise();
  // Deactivates, reloads, and activates again when it was active.
  void ReloadConfiguration();

 private:
  void ProtocolTick();
  void DeliveryTick();
  void SupervisionTick();
  void WatchdogTick();

  EventLoop& loop_;
  IEngineHost& engine_;
  bool processingTimersAllowed_ = false;
  EventLoop::TimerId protocolTimer_ = 0;
  EventLoop::TimerId deliveryTimer_ = 0;
  EventLoop::TimerId supervisionTimer_ = 0;
  EventLoop::TimerId watchdogTimer_ = 0;
  SystemdNotify* notify_ = nullptr;
};

}  // namespace meldrix
