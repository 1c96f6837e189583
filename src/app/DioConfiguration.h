// The digital I/O bank of the run, chosen from section "DIO": the GPIO lines
// it names when it names a chip, otherwise the bank the environment had (the
// simulated one). Installed into the process environment for the object's
// lifetime, so the expression language reaches it through CurrentDio().
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ConfigValueReader.h"
#include "platform/Env.h"
#include "platform/GpioDio.h"

namespace meldrix {

class DioConfiguration {
 public:
  using Log = std::function<void(const std::string& text)>;
  explicit DioConfiguration(Log log);

  // At start and after every reload. Settings that did not change keep the
  // bank, so a reload leaves the outputs as they are.
  void Apply(const ConfigValueReader& config);
  std::shared_ptr<DioBank> InUse() const { return bank_->InUse(); }

 private:
  Log log_;
  std::shared_ptr<DioBank> fallback_;
  std::shared_ptr<ConfiguredDioBank> bank_;
  ScopedEnv env_;
  std::optional<GpioDioSettings> settings_;
  std::string error_;
};

}  // namespace meldrix
