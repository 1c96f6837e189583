#include "platform/Env.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/SerialTermios.h"

namespace meldrix {

namespace {

// Readers take a plain atomic pointer (the timer clock is read for every
// received byte); every environment ever installed is kept, so a reader on
// another thread never sees a destroyed service.
struct EnvSlot {
  std::mutex mutex;
  std::vector<std::unique_ptr<Env>> kept;
  std::atomic<const Env*> active{nullptr};
};

EnvSlot& Slot() {
  static EnvSlot slot;
  return slot;
}

const Env* Keep(EnvSlot& slot, Env env) {
  slot.kept.push_back(std::make_unique<Env>(std::move(env)));
  return slot.kept.back().get();
}

const Env* Active(EnvSlot& slot) {
  const Env* env = slot.active.load(std::memory_order_acquire);
  if (env) return env;
  std::lock_guard lock(slot.mutex);
  env = slot.active.load(std::memory_order_relaxed);
  if (!env) {
    env = Keep(slot, Env::Real());
    slot.active.store(env, std::memory_order_release);
  }
  return env;
}

// Installs `env` completed from the one in force; returns the one replaced.
const Env* Install(Env env) {
  EnvSlot& slot = Slot();
  const Env* previous = Active(slot);
  std::lock_guard lock(slot.mutex);
  if (!env.serial) env.serial = previous->serial;
  if (!env.ui) env.ui = previous->ui;
  if (!env.locale) env.locale = previous->locale;
  if (!env.timerClock) env.timerClock = previous->timerClock;
  if (!env.clock) env.clock = previous->clock;
  if (!env.dio) env.dio = previous->dio;
  slot.active.store(Keep(slot, std::move(env)), std::memory_order_release);
  return previous;
}

}  // namespace

Env Env::Real() {
  Env env;
  env.serial = std::make_shared<CTermiosSerialLibrary>();
  env.ui = std::make_shared<ConsoleUserInterface>();
  env.locale = std::make_shared<PosixLocaleInfo>();
  env.timerClock = std::make_shared<SteadyMilliClock>();
  env.clock = std::make_shared<SystemClock>();
  env.dio = std::make_shared<SimulatedDioBank>();
  return env;
}

const Env& ProcessEnv() { return *Active(Slot()); }

ScopedEnv::ScopedEnv(Env env) : previous_(Install(std::move(env))) {}

ScopedEnv::~ScopedEnv() { Slot().active.store(previous_, std::memory_order_release); }

}  // namespace meldrix
