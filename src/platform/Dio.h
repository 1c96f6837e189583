// Digital inputs and outputs (the four calls of the DIO32 library). Indices
// are 0-based, states 0 or 1; calls with an index outside the bank are
// ignored and read as 0, as the callers do not check results.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace meldrix {

class DioBank {
 public:
  virtual ~DioBank() = default;
  virtual int GetInput(int index) = 0;
  virtual int GetOutput(int index) = 0;
  virtual void SetOutput(int index, int on) = 0;
  // Sets the output to state for duration milliseconds, then to the opposite.
  virtual void SetOutputImpulse(int index, int state, int duration) = 0;
};

// A bank kept in memory. Impulses end when the clock has passed their end;
// the state is brought up to date on every call (and by Poll), so no thread
// is needed.
//
// With a state file the bank is mirrored to it, so other programs and tests
// can watch the outputs and drive the inputs. The file holds two lines, one
// digit per channel, channel 1 first:
//   I=0100...
//   Q=0000...
// The inputs are read from the file on every GetInput; the file is rewritten
// (atomically) whenever an output changes.
class SimulatedDioBank : public DioBank {
 public:
  using MillisecondClock = std::function<int64_t()>;
  // nowMs: monotonic milliseconds; defaults to the steady clock.
  explicit SimulatedDioBank(int channels = 64, MillisecondClock nowMs = {},
                            std::string stateFile = "");

  int GetInput(int index) override;
  int GetOutput(int index) override;
  void SetOutput(int index, int on) override;
  void SetOutputImpulse(int index, int state, int duration) override;

  // Test and simulation side: drive an input.
  void SetInput(int index, int on);
  // Ends the impulses that are due (the engine calls this from its loop).
  void Poll();

 private:
  struct Channel {
    int input = 0;
    int output = 0;
    bool pulsing = false;
    int64_t pulseEnd = 0;
  };
  Channel* At(int index);
  bool Update(Channel& channel);  // true when the output changed
  void LoadInputs();
  void SaveState();
  void MirrorOutputs();

  std::mutex lock_;
  std::vector<Channel> channels_;
  MillisecondClock now_;
  std::string stateFile_;
};

// The bank the program's configuration chooses, in the environment for the
// whole run: it hands every call to the bank in use, which a configuration
// reload may replace.
class ConfiguredDioBank : public DioBank {
 public:
  explicit ConfiguredDioBank(std::shared_ptr<DioBank> bank) : bank_(std::move(bank)) {}
  void Use(std::shared_ptr<DioBank> bank);
  std::shared_ptr<DioBank> InUse() const;

  int GetInput(int index) override { return InUse()->GetInput(index); }
  int GetOutput(int index) override { return InUse()->GetOutput(index); }
  void SetOutput(int index, int on) override { InUse()->SetOutput(index, on); }
  void SetOutputImpulse(int index, int state, int duration) override {
    InUse()->SetOutputImpulse(index, state, duration);
  }

 private:
  mutable std::mutex lock_;
  std::shared_ptr<DioBank> bank_;
};

// The bank of the process's environment (platform/Env.h).
std::shared_ptr<DioBank> CurrentDio();

}  // namespace meldrix
