#include "platform/Dio.h"

#include <chrono>

namespace meldrix {

SimulatedDioBank::SimulatedDioBank(int channels, MillisecondClock nowMs)
    : channels_(channels > 0 ? channels : 0), now_(std::move(nowMs)) {
  if (!now_) {
    now_ = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
  }
}

SimulatedDioBank::Channel* SimulatedDioBank::At(int index) {
  if (index < 0 || index >= static_cast<int>(channels_.size())) return nullptr;
  return &channels_[index];
}

void SimulatedDioBank::Update(Channel& channel) {
  if (channel.pulsing && now_() >= channel.pulseEnd) {
    channel.output = channel.output ? 0 : 1;
    channel.pulsing = false;
  }
}

int SimulatedDioBank::GetInput(int index) {
  std::lock_guard lock(lock_);
  Channel* channel = At(index);
  return channel ? channel->input : 0;
}

int SimulatedDioBank::GetOutput(int index) {
  std::lock_guard lock(lock_);
  Channel* channel = At(index);
  if (!channel) return 0;
  Update(*channel);
  return channel->output;
}

void SimulatedDioBank::SetOutput(int index, int on) {
  std::lock_guard lock(lock_);
  if (Channel* channel = At(index)) {
    channel->output = on ? 1 : 0;
    channel->pulsing = false;
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
}

void SimulatedDioBank::SetInput(int index, int on) {
  std::lock_guard lock(lock_);
  if (Channel* channel = At(index)) channel->input = on ? 1 : 0;
}

namespace {

struct DioSlot {
  std::mutex lock;
  std::shared_ptr<DioBank> bank = std::make_shared<SimulatedDioBank>();
};

DioSlot& Slot() {
  static DioSlot slot;
  return slot;
}

}  // namespace

std::shared_ptr<DioBank> CurrentDio() {
  DioSlot& slot = Slot();
  std::lock_guard lock(slot.lock);
  return slot.bank;
}

void SetDio(std::shared_ptr<DioBank> bank) {
  DioSlot& slot = Slot();
  std::lock_guard lock(slot.lock);
  slot.bank = bank ? std::move(bank) : std::make_shared<SimulatedDioBank>();
}

}  // namespace meldrix
