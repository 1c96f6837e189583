// What the main loop drives: the engine document seen through the few
// operations the timers, signals and start-up need. The program adapts
// CMeldrixDoc to it; tests drive the loop with a fake.
#pragma once

#include <cstdint>
#include <string>

namespace meldrix {

class CStreamDoc;
class CMeldrixDoc;

// The three counters of the status bar.
struct EngineCounters {
  std::uint32_t total = 0;
  std::uint32_t sent = 0;
  std::uint32_t errors = 0;
  bool operator==(const EngineCounters&) const = default;
};

class IEngineHost {
 public:
  virtual ~IEngineHost() = default;

  virtual CStreamDoc& Log() = 0;
  virtual bool AutoActivate() const = 0;
  virtual bool IsActive() const = 0;
  // Opens everything; on failure the error is logged, "AutoActivate" is 0 in
  // memory and in the file, and processing stays inactive.
  virtual bool Activate() = 0;
  virtual void Deactivate() = 0;
  // True while an open source has a device protocol to pump.
  virtual bool HasDeviceProtocols() const = 0;
  // One protocol step for every serial source with a device protocol;
  // true when a decoder is inside a telegram.
  virtual bool PumpProtocols() = 0;
  // Mail lines, then every source polled and its messages processed, for a
  // limited time; true when work is left for the next pass.
  virtual bool Deliver() = 0;
  // True when the configuration file changed from outside since it was read.
  virtual bool ConfigurationChanged() = 0;
  // Reads the configuration file again into the model.
  virtual void Reload() = 0;
  // Sends "[check(Meldrix)]" to Korvane.
  virtual void SendCheck() = 0;
  // "Total messages: n, Sent messages: n, Total Errors: n" for the log.
  virtual std::string CountersText() const = 0;

  // For the desktop program; the defaults suit a host without them.
  virtual EngineCounters Counters() const { return {}; }
  // Whether "activate" is offered: a source exists or the SMTP sink is
  // enabled, which it always is.
  virtual bool CanActivate() const { return true; }
  // The sources, each with the output it feeds.
  virtual std::string OverviewText() { return {}; }
  // The configuration file in use.
  virtual std::string ConfigFile() const { return {}; }
  // Someone else wrote the configuration file for this program: the change
  // check must not take it for an outside edit.
  virtual void ConfigurationWritten() {}
  // Sends a command to Korvane; the reply, or the failure code.
  virtual std::uint32_t SendKorvaneCommand(const std::string& command) {
    (void)command;
    return 0;
  }
  // The engine document, which the setup dialogs edit and save; null in a
  // host without one. Main thread only, like the engine itself.
  virtual CMeldrixDoc* Document() { return nullptr; }
};

}  // namespace meldrix
