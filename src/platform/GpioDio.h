// Digital I/O on the Linux GPIO character device (libgpiod): the channels of
// the expression language index the lines named in section "DIO", e.g.
//   [DIO]
//   Chip=gpiochip0
//   Inputs=4,5,6
//   Outputs=17,18
// so DIN(1) reads line 4 and DOUT(2) drives line 18. A line that cannot be
// requested reads 0 and ignores writes, with one log line when requested.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ConfigValueReader.h"
#include "platform/Dio.h"

struct gpiod_chip;
struct gpiod_line;

namespace meldrix {

struct GpioDioSettings {
  std::string chip;  // a name under /dev ("gpiochip0"), a path, a label or a number
  std::vector<unsigned> inputs;
  std::vector<unsigned> outputs;
  bool operator==(const GpioDioSettings&) const = default;
};

// Section "DIO": nothing when "Chip" is empty. Line lists are decimal offsets
// separated by "," (blanks allowed); an entry that is not a number makes
// `error` tell which, and the settings are not used.
std::optional<GpioDioSettings> ReadGpioDioSettings(const ConfigValueReader& config, std::string& error);

class GpioDioBank : public DioBank {
 public:
  using Log = std::function<void(const std::string& text)>;
  // The consumer name the lines are requested under.
  static constexpr const char* kConsumer = "meldrix";

  // Opens the chip and requests every line now: inputs as inputs, outputs
  // as outputs driven low.
  GpioDioBank(GpioDioSettings settings, Log log);
  ~GpioDioBank() override;
  GpioDioBank(const GpioDioBank&) = delete;
  GpioDioBank& operator=(const GpioDioBank&) = delete;

  int GetInput(int index) override;
  // The state last driven (or the line's value when the driver can tell).
  int GetOutput(int index) override;
  void SetOutput(int index, int on) override;
  // Drives the output to state now and to the opposite after duration
  // milliseconds, on a timer thread of the bank's own.
  void SetOutputImpulse(int index, int state, int duration) override;

  const GpioDioSettings& Settings() const { return settings_; }

 private:
  struct Output {
    gpiod_line* line = nullptr;
    int state = 0;
    bool pulsing = false;
    std::chrono::steady_clock::time_point pulseEnd;
  };
  void Drive(Output& output, int state);
  void EndImpulses(std::stop_token stop);

  GpioDioSettings settings_;
  gpiod_chip* chip_ = nullptr;
  std::vector<gpiod_line*> inputs_;  // nullptr: not requested
  std::mutex lock_;
  std::condition_variable_any changed_;
  std::vector<Output> outputs_;
  std::uint64_t impulsesStarted_ = 0;
  std::jthread impulses_;  // last: stopped before the lines go
};

}  // namespace meldrix
