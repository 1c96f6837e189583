// The three timers that drive all processing, and the program's reaction to
// signals, on one event loop:
// - protocol timer: 20 ms, 5 ms while a device protocol is inside a telegram;
// - delivery timer: 100 ms, mail lines and sources while processing is active;
// - supervision timer: 1 s after start, then every 60 s: the configuration
//   change check (deactivate, reload, activate again when it was active) and
//   "[check(Meldrix)]" while active.
// SIGHUP runs the supervision work at once; SIGTERM and SIGINT deactivate and
// end the loop with status 0; SIGUSR1 writes the counters to the log.
#pragma once

#include <cstdint>

#include "app/EngineHost.h"
#include "platform/EventLoop.h"

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

  // Starts the supervision and protocol timers (when the application object
  // is created) and the delivery timer (at the end of start-up).
  void StartSupervision();
  void StartProcessingTimers();

  void OnSignal(int signal);
  // The configuration change check and, while active, the Korvane check.
  void Supervise();
  // Deactivates, reloads, and activates again when it was active.
  void ReloadConfiguration();

 private:
  void ProtocolTick();
  void DeliveryTick();
  void SupervisionTick();

  EventLoop& loop_;
  IEngineHost& engine_;
  EventLoop::TimerId protocolTimer_ = 0;
  EventLoop::TimerId deliveryTimer_ = 0;
  EventLoop::TimerId supervisionTimer_ = 0;
};

}  // namespace meldrix
