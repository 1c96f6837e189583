#include "platform/Dio.h"

#include "platform/Env.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace meldrix {

SimulatedDioBank::SimulatedDioBank(int channels, MillisecondClock nowMs, std::string stateFile)
    : channels_(channels > 0 ? channels : 0), now_(std::move(nowMs)), stateFile_(std::move(stateFile)) {
  if (!now_) {
    now_ = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
  }
  if (!stateFile_.empty()) {
    LoadInputs();
    SaveState();
  }
}

void SimulatedDioBank::LoadInputs() {
  std::ifstream in(stateFile_);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("I=", 0) != 0) continue;
    for (size_t i = 0; i < channels_.size(); ++i)
      channels_[i].input = i + 2 < line.size() && line[i + 2] == '1' ? 1 : 0;
  }
}

void SimulatedDioBank::SaveState() {
  std::string inputs = "I=", outputs = "Q=";
  for (const Channel& channel : channels_) {
    inputs += channel.input ? '1' : '0';
    outputs += channel.output ? '1' : '0';
  }
  std::string temporary = stateFile_ + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << inputs << "\n" << outputs << "\n";
    if (!out) return;
  }
  std::rename(temporary.c_str(), stateFile_.c_str());
}

// The inputs in the file may have been changed from outside since they were
// last read: take them over before the file is written again.
void SimulatedDioBank::MirrorOutputs() {
  if (stateFile_.empty()) return;
  LoadInputs();
  SaveState();
}

void SimulatedDioBank::Poll() {
  std::lock_guard lock(lock_);
  bool changed = false;
  for (Channel& channel : channels_) changed = Update(channel) || changed;
  if (changed) MirrorOutputs();
}

SimulatedDioBank::Channel* SimulatedDioBank::At(int index) {
  if (index < 0 || index >= static_cast<int>(channels_.size())) return nullptr;
  return &channels_[index];
}

bool SimulatedDioBank::Update(Channel& channel) {
  if (channel.pulsing && now_() >= channel.pulseEnd) {
    channel.output = channel.output ? 0 : 1;
    channel.pulsing = false;
    return true;
  }
  return false;
}

int SimulatedDioBank::GetInput(int index) {
  std::lock_guard lock(lock_);
  Channel* channel = At(index);
  if (!channel) return 0;
  if (!stateFile_.empty()) LoadInputs();
  return channel->input;
}

int SimulatedDioBank::GetOutput(int index) {
  std::lock_guard lock(lock_);
  Channel* channel = At(index);
  if (!channel) return 0;
  if (Update(*channel)) MirrorOutputs();
  return channel->output;
}

void SimulatedDioBank::SetOutput(int index, int on) {
  std::lock_guard lock(lock_);
  if (Channel* channel = At(index)) {
    channel->output = on ? 1 : 0;
    channel->pulsing = false;
    MirrorOutputs();
  }
}

void SimulatedDioBank::SetOutputImpulse(int index, int state, int duration) {
  std::lock_guard lock(lock_);
  Channel* channel = At(index);
  if (!channel) return;
  channel->output = state ? 1 : 0;
  channel->pulsing = duration > 0;
  channel->pulseEnd = now_() + (duration > 0 ? duration : 0);
  if (!channel->pulsing) channel->output = state ? 0 : 1;  // an empty impulse
  MirrorOutputs();
}

void SimulatedDioBank::SetInput(int index, int on) {
  std::lock_guard lock(lock_);
  if (Channel* channel = At(index)) {
    channel->input = on ? 1 : 0;
    if (!stateFile_.empty()) SaveState();
  }
}

void ConfiguredDioBank::Use(std::shared_ptr<DioBank> bank) {
  std::lock_guard lock(lock_);
  bank_ = std::move(bank);
}

std::shared_ptr<DioBank> ConfiguredDioBank::InUse() const {
  std::lock_guard lock(lock_);
  return bank_;
}

std::shared_ptr<DioBank> CurrentDio() { return ProcessEnv().dio; }

}  // namespace meldrix
